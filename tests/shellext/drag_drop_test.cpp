// Real drags with the system's DoDragDrop, driven by synthetic mouse input:
// a host file dragged onto the folder view arrives on the device with the
// host file's bytes. The view runs in the frame of a browser double on the
// test's thread; the drag loop is the system's own, fed by SendInput from
// another thread.
#include "tests/shellext/harness/drop_files.h"
#include "tests/shellext/harness/synthetic_mouse.h"
#include "tests/shellext/view_fixture.h"

#include <cstdio>
#include <fstream>

namespace kestrel::shellext::test {
namespace {

// The drop source of a plain host program: drop when the left button is
// up, cancel on Escape, the system's cursors.
class ButtonDropSource final : public StrictDouble<IDropSource> {
public:
    ButtonDropSource() : StrictDouble("drop source") {}
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
        ++queries_;
        if (escape) return DRAGDROP_S_CANCEL;
        return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
    int queries() const { return queries_; }

private:
    int queries_ = 0;
};

std::string hostTempPath(const char* name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name;
}

POINT screenPointOf(HWND window, int x, int y) {
    POINT point{x, y};
    ClientToScreen(window, &point);
    return point;
}

class DragDropTest : public ViewFixture {};

TEST_F(DragDropTest, AHostFileDraggedOntoTheViewArrivesWithItsBytes) {
    const std::string hostFile = hostTempPath("DRAGIN.TXT");
    const std::string bytes = "host bytes carried by a real drag\r\n";
    { std::ofstream(hostFile, std::ios::binary) << bytes; }
    auto view = openView(FVM_DETAILS);
    ASSERT_TRUE(view);
    HWND list = listOf(view.get());
    ASSERT_NE(list, nullptr);
    SetForegroundWindow(browser_->frame());
    RECT area{};
    GetClientRect(list, &area);
    const POINT target = screenPointOf(list, area.right / 2, area.bottom - 20);  // below the rows
    RECT status{};
    GetClientRect(browser_->statusBar(), &status);
    const POINT source = screenPointOf(browser_->statusBar(), status.right / 2, status.bottom / 2);

    FileDropData data({hostFile});
    ButtonDropSource dropSource;
    DWORD effect = DROPEFFECT_NONE;
    ASSERT_TRUE(pressLeftButtonAt(source)) << "the press did not reach the test's window";
    HRESULT dragged = E_FAIL;
    {
        SyntheticDrag drag(source, target);
        dragged = DoDragDrop(&data, &dropSource, DROPEFFECT_COPY, &effect);
    }
    MSG message;
    for (int i = 0; i < 50; ++i) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(20);
    }
    std::printf("DoDragDrop 0x%08lX, effect %lu, %d questions to the source\n", static_cast<unsigned long>(dragged),
                effect, dropSource.queries());
    EXPECT_EQ(dragged, DRAGDROP_S_DROP);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(device_->readText("/DRAGIN.TXT"), bytes) << "the device file holds the host file's bytes";
    EXPECT_NE(rowOf(list, "DRAGIN.TXT"), -1) << "the view lists the dropped file";
    closeView(view);
    DeleteFileA(hostFile.c_str());
}

}  // namespace
}  // namespace kestrel::shellext::test
