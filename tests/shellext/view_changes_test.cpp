// How changes on the device reach open views. A change reported on another
// thread reaches a view's list only on the view's own thread, and the
// reporting thread neither waits for that thread nor uses a view without a
// reference to it. An item pasted over a listed one keeps one row, and
// items moved away leave the view of their old folder.
#include "shellext/folder_view.h"
#include "shellext/notify_views.h"
#include "shellext/view_changes.h"
#include "tests/shellext/harness/shell_browser_double.h"
#include "tests/shellext/transfer_fixture.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>

namespace kestrel::shellext::test {
namespace {

// Far longer than a notification takes; only a thread that waits for the
// view's thread, which does not take messages meanwhile, reaches it.
constexpr auto STUCK = std::chrono::seconds(20);

class ViewChangesTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        device.put("/A.TXT", "a");
        device.put("/B.TXT", "b");
        browser = std::make_unique<ShellBrowserDouble>();
    }
    void TearDown() override {
        if (view != nullptr) closeView();
        browser.reset();
        TransferTest::TearDown();
    }

    // A view of `folder` (the root by default) in the browser's frame, made
    // on this thread.
    void openView(DeviceFolder* folder = nullptr) {
        if (folder == nullptr) folder = root;
        ASSERT_EQ(folder->CreateViewObject(browser->frame(), IID_IShellView, reinterpret_cast<void**>(&view)), S_OK);
        FOLDERSETTINGS settings{FVM_DETAILS, 0};
        RECT area = browser->viewArea();
        HWND window = nullptr;
        ASSERT_EQ(view->CreateViewWindow(nullptr, &settings, browser.get(), &area, &window), S_OK);
        list = GetDlgItem(window, LIST_VIEW_ID);
        ASSERT_NE(list, nullptr);
    }
    void closeView() {
        EXPECT_EQ(view->DestroyViewWindow(), S_OK);
        EXPECT_EQ(view->Release(), 0u);
        view = nullptr;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> texts;
        const int count = ListView_GetItemCount(list);
        for (int row = 0; row < count; ++row) {
            char text[260] = {};
            ListView_GetItemText(list, row, 0, text, sizeof text);
            texts.emplace_back(text);
        }
        return texts;
    }
    ULONG references() {
        view->AddRef();
        return view->Release();
    }

    // `report` on a thread of its own, as another Explorer window reports a
    // change; true when that thread ended while this one took no messages.
    // Otherwise this thread takes messages until it ends.
    static bool reportFromAnotherThread(const std::function<void()>& report) {
        auto done = std::async(std::launch::async, [&report] {
            const HRESULT ole = OleInitialize(nullptr);
            report();
            if (SUCCEEDED(ole)) OleUninitialize();
        });
        if (done.wait_for(STUCK) == std::future_status::ready) return true;
        while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready) pumpMessages(20);
        return false;
    }

    std::unique_ptr<ShellBrowserDouble> browser;
    IShellView* view = nullptr;
    HWND list = nullptr;
};

bool holds(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST_F(ViewChangesTest, AChangeFromAnotherThreadReachesTheListOnTheViewsOwnThread) {
    ASSERT_NO_FATAL_FAILURE(openView());
    ASSERT_EQ(names().size(), 2u);
    device.put("/NEW.TXT", "new");
    const LPCITEMIDLIST added = item(root, "NEW.TXT");
    LPCITEMIDLIST removed = item(root, "A.TXT");
    const ULONG before = references();

    EXPECT_TRUE(reportFromAnotherThread([&] {
        notifyViews(root->absoluteId(), SHCNE_CREATE, added, nullptr);
        notifyViews(root->absoluteId(), SHCNE_DELETE, removed, nullptr);
    })) << "the reporting thread waited for the view's thread";
    EXPECT_EQ(names(), (std::vector<std::string>{"A.TXT", "B.TXT"})) << "the list changed on another thread";
    EXPECT_EQ(references(), before) << "a reference taken for the report was kept";

    pumpMessages(50);
    const auto after = names();
    EXPECT_TRUE(holds(after, "NEW.TXT"));
    EXPECT_FALSE(holds(after, "A.TXT"));
    EXPECT_EQ(after.size(), 2u);
}

TEST_F(ViewChangesTest, AChangeOnTheViewsOwnThreadIsAppliedAtOnce) {
    ASSERT_NO_FATAL_FAILURE(openView());
    notifyViews(root->absoluteId(), SHCNE_DELETE, item(root, "B.TXT"), nullptr);
    EXPECT_EQ(names(), (std::vector<std::string>{"A.TXT"}));
}

TEST_F(ViewChangesTest, AViewClosedWithAChangeOnTheWayIsLeftAlone) {
    ASSERT_NO_FATAL_FAILURE(openView());
    const LPCITEMIDLIST removed = item(root, "A.TXT");
    EXPECT_TRUE(reportFromAnotherThread([&] { notifyViews(root->absoluteId(), SHCNE_DELETE, removed, nullptr); }));
    closeView();  // before the view's thread took the change
    pumpMessages(50);
    EXPECT_EQ(ServerModule::instance().views().size(), 0u);
    // The fixture checks that nothing of the view outlived it.
}

TEST_F(ViewChangesTest, AViewWhoseLastReferenceGoesOnAnotherThreadClosesItsWindowOnItsOwn) {
    ASSERT_NO_FATAL_FAILURE(openView());
    HWND window = nullptr;
    ASSERT_EQ(view->GetWindow(&window), S_OK);
    std::promise<void> held, released;
    auto holder = std::async(std::launch::async, [&] {
        auto views = ServerModule::instance().views().holdAll();
        EXPECT_EQ(views.size(), 1u);
        held.set_value();
        released.get_future().wait();
        // The last reference goes here, away from the window's thread.
    });
    held.get_future().wait();
    EXPECT_EQ(view->Release(), 1u);  // Explorer let go without DestroyViewWindow
    view = nullptr;
    released.set_value();
    holder.wait();
    EXPECT_EQ(ServerModule::instance().views().size(), 0u);
    pumpMessages(50);
    EXPECT_FALSE(IsWindow(window)) << "the window outlived its view";
}

TEST_F(ViewChangesTest, AnItemPastedOverAListedOneKeepsOneRowWithTheNewSize) {
    device.put("/Music/A.TXT", "a longer text than before");
    ASSERT_NO_FATAL_FAILURE(openView());
    DeviceFolder* music = folderAt("Music");
    ASSERT_NE(music, nullptr);
    LPCITEMIDLIST items[] = {item(music, "A.TXT")};
    dialogs->answer({IDYES});  // replace the listed A.TXT
    EXPECT_EQ(root->MoveCopyItems(music, items, 1, FALSE), S_OK);
    EXPECT_EQ(dialogs->seen().size(), 1u);
    pumpMessages(20);
    const auto after = names();
    EXPECT_EQ(std::count(after.begin(), after.end(), "A.TXT"), 1) << "a second row for the pasted item";
    EXPECT_EQ(after.size(), 3u) << "Music, A.TXT and B.TXT";
    char size[64] = {};
    ListView_GetItemText(list, static_cast<int>(std::find(after.begin(), after.end(), "A.TXT") - after.begin()), 1,
                         size, sizeof size);
    WCHAR wide[64] = {};
    StrFormatByteSizeW(25, wide, 64);
    char expected[64] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, expected, sizeof expected, nullptr, nullptr);
    EXPECT_STREQ(size, expected) << "the row shows the pasted item";
}

TEST_F(ViewChangesTest, ItemsMovedAwayLeaveTheViewOfTheirFolder) {
    device.put("/Music/song.mp3", "s");
    device.put("/Music/Live/b.mp3", "b");
    device.put("/Music/keep.mp3", "k");
    DeviceFolder* music = folderAt("Music");
    ASSERT_NE(music, nullptr);
    ASSERT_NO_FATAL_FAILURE(openView(music));
    ASSERT_EQ(names().size(), 3u);
    LPCITEMIDLIST items[] = {item(music, "song.mp3"), item(music, "Live")};
    EXPECT_EQ(root->moveCopyItems(music, music->absoluteId(), items, 2, true), S_OK);
    pumpMessages(20);
    EXPECT_EQ(names(), (std::vector<std::string>{"keep.mp3"}));
    EXPECT_FALSE(device.exists("/Music/song.mp3"));

    // A copy leaves its source listed.
    LPCITEMIDLIST kept[] = {item(music, "keep.mp3")};
    EXPECT_EQ(root->moveCopyItems(music, music->absoluteId(), kept, 1, false), S_OK);
    pumpMessages(20);
    EXPECT_EQ(names(), (std::vector<std::string>{"keep.mp3"}));
}

TEST(ViewChangeTest, CopiesEndWithTheirOwnTerminatorAndNoneStaysNone) {
    // One element (cb 5) and a two-byte terminator, as the Desktop's lists end.
    const uint8_t foreign[] = {5, 0, 'a', 'b', 'c', 0, 0};
    ViewChange change(SHCNE_UPDATEITEM, reinterpret_cast<LPCITEMIDLIST>(foreign), nullptr);
    EXPECT_EQ(change.event(), SHCNE_UPDATEITEM);
    EXPECT_EQ(change.newItem(), nullptr);
    ASSERT_NE(change.item(), nullptr);
    ASSERT_NE(static_cast<const void*>(change.item()), static_cast<const void*>(foreign));
    const auto* copy = reinterpret_cast<const uint8_t*>(change.item());
    EXPECT_EQ(std::vector<uint8_t>(copy, copy + 8), (std::vector<uint8_t>{5, 0, 'a', 'b', 'c', 0, 0, 0}));

    ViewChangeQueue queue;
    queue.push(std::move(change));
    queue.push(ViewChange(SHCNE_DELETE, nullptr, nullptr));
    const auto taken = queue.take();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].event(), SHCNE_UPDATEITEM);
    EXPECT_EQ(taken[1].event(), SHCNE_DELETE);
    EXPECT_EQ(queue.size(), 0u);
}

}  // namespace
}  // namespace kestrel::shellext::test
