// The library as a COM server: its class factory, the count of live
// objects that decides when it may be unloaded, unloading while the device
// link runs, and the per-user settings value read at load and written at
// unload.
#include "platform/byte_order.h"
#include "shellext/clsid.h"
#include "tests/shellext/harness/explorer_session.h"
#include "tests/shellext/harness/registry_probe.h"
#include "tests/shellext/harness/simulated_kestrel.h"
#include "tests/shellext/harness/strict_double.h"

#include <gtest/gtest.h>

namespace kestrel::shellext::test {
namespace {

const CLSID OTHER_CLASS = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(ClassFactoryTest, OnlyTheFolderClassIsServed) {
    ExplorerSession session;
    ASSERT_TRUE(session.ready()) << session.error();
    ComRef<IClassFactory> factory;
    EXPECT_EQ(session.library().getClassObject(OTHER_CLASS, IID_IClassFactory, factory.outVoid()),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_TRUE(factory.cleared());
    EXPECT_EQ(session.library().getClassObject(CLSID_DeviceFolder, IID_IShellFolder, factory.outVoid()),
              E_NOINTERFACE)
        << "the class object is a factory, not a folder";
    EXPECT_TRUE(factory.cleared());
    EXPECT_EQ(session.library().canUnloadNow(), S_OK) << "a refused request leaves nothing alive";
    session.finish();
}

TEST(ClassFactoryTest, TheFactoryRefusesAggregationAndLocking) {
    ExplorerSession session;
    ASSERT_TRUE(session.ready()) << session.error();
    ComRef<IClassFactory> factory;
    ASSERT_EQ(session.library().getClassObject(CLSID_DeviceFolder, IID_IClassFactory, factory.outVoid()), S_OK);

    ComRef<IUnknown> unknown;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, unknown.outVoid()), S_OK);
    EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(factory.get()));
    EXPECT_EQ(unknown.release(), 1u);
    ComRef<IShellFolder> folder;
    EXPECT_EQ(factory->QueryInterface(IID_IShellFolder, folder.outVoid()), E_NOINTERFACE);
    EXPECT_TRUE(folder.cleared());

    StrictUnknown outer;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnknown, folder.outVoid()), CLASS_E_NOAGGREGATION);
    EXPECT_TRUE(folder.cleared());
    EXPECT_EQ(outer.references(), 0) << "the outer object was not kept";

    EXPECT_EQ(factory->LockServer(TRUE), E_NOTIMPL);
    EXPECT_EQ(factory->LockServer(FALSE), E_NOTIMPL);

    ComRef<IShellView> view;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IShellView, view.outVoid()), E_NOINTERFACE);
    EXPECT_TRUE(view.cleared());
    ComRef<IPersistFolder> persist;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersistFolder, persist.outVoid()), S_OK);

    EXPECT_EQ(session.library().canUnloadNow(), S_FALSE) << "the factory and a folder are alive";
    expectLastRelease(factory, "class factory");
    EXPECT_EQ(session.library().canUnloadNow(), S_FALSE) << "the folder is alive";
    expectLastRelease(persist, "folder");
    session.finish();
}

TEST(LiveObjectsTest, EveryObjectKeepsTheLibraryLoaded) {
    SimulatedKestrel device;
    ASSERT_TRUE(device.ready()) << device.error();
    ASSERT_TRUE(device.put({"/MUSIC/A.TXT"})) << device.error();
    ExplorerSession session;
    ASSERT_TRUE(session.ready()) << session.error();

    auto root = session.openRoot();
    ASSERT_TRUE(root);
    ComRef<IEnumIDList> enumerator;
    ASSERT_EQ(root->EnumObjects(nullptr, SHCONTF_FOLDERS, enumerator.out()), S_OK);
    const ShellList music = findItem(root.get(), "MUSIC");
    ASSERT_TRUE(music);
    ComRef<IExtractIconA> icon;
    LPCITEMIDLIST items[] = {music.get()};
    ASSERT_EQ(root->GetUIObjectOf(nullptr, 1, items, IID_IExtractIconA, nullptr, icon.outVoid()), S_OK);
    auto child = bindTo(root.get(), music.get());
    ASSERT_TRUE(child);

    EXPECT_EQ(root.release(), 1u) << "the subfolder holds its parent";
    EXPECT_EQ(session.library().canUnloadNow(), S_FALSE) << "enumerator, icon and subfolder are alive";
    expectLastRelease(enumerator, "enumerator");
    EXPECT_EQ(session.library().canUnloadNow(), S_FALSE);
    expectLastRelease(icon, "icon");
    EXPECT_EQ(session.library().canUnloadNow(), S_FALSE) << "the subfolder (which holds its parent)";
    expectLastRelease(child, "subfolder");
    session.finish();  // the device link ran: it is stopped and the library goes
}

TEST(LiveObjectsTest, AFreeLibraryWhileTheDeviceLinkRunsLeavesTheLibraryLoaded) {
    SimulatedKestrel device;
    ASSERT_TRUE(device.ready()) << device.error();
    ASSERT_TRUE(device.put({"/A.TXT"})) << device.error();
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        ShellExtLibrary library;
        ASSERT_TRUE(library.loaded()) << library.error();
        ComRef<IClassFactory> factory;
        ASSERT_EQ(library.getClassObject(CLSID_DeviceFolder, IID_IClassFactory, factory.outVoid()), S_OK);
        ComRef<IShellFolder> root;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, root.outVoid()), S_OK);
        factory.reset();
        EXPECT_EQ(listItems(root.get()).size(), 1u);  // the link and its watchdog thread run now
        expectLastRelease(root, "root folder");
        // Unloaded without asking DllCanUnloadNow: the watchdog thread runs
        // in the library, so it must stay.
        EXPECT_FALSE(library.unload());
    }
    {
        // Loaded again, the library is asked as COM asks: now it stops the
        // link and goes.
        ShellExtLibrary again;
        ASSERT_TRUE(again.loaded());
        EXPECT_EQ(again.canUnloadNow(), S_OK);
        EXPECT_TRUE(again.unload());
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

// "Display Settings" under HKEY_CURRENT_USER\Software\zidorozu.
const char* const SETTINGS_KEY = "Software\\zidorozu";
const char* const SETTINGS_VALUE = "Display Settings";

// Loads and unloads the library (which reads the value at load and writes
// it at unload) and returns what it wrote.
std::optional<StoredValue> widthAfterLoading() {
    {
        ShellExtLibrary library;
        EXPECT_TRUE(library.loaded()) << library.error();
        EXPECT_EQ(library.canUnloadNow(), S_OK);
        EXPECT_TRUE(library.unload());
    }
    return readValue(HKEY_CURRENT_USER, SETTINGS_KEY, SETTINGS_VALUE);
}

std::vector<uint8_t> le32(uint32_t value) {
    std::vector<uint8_t> bytes(4);
    storeLe32(bytes.data(), value);
    return bytes;
}

TEST(DisplaySettingsTest, TheWidthIsReadAtLoadAndWrittenAsFourBinaryBytes) {
    struct Case {
        const char* what;
        bool present;
        DWORD type;
        std::vector<uint8_t> data;
        uint32_t width;
    };
    const std::vector<Case> cases = {
        {"no value", false, REG_NONE, {}, 100},
        {"binary", true, REG_BINARY, le32(240), 240},
        {"another type of 4 bytes", true, REG_DWORD, le32(321), 321},
        {"a 4-byte text", true, REG_SZ, {'a', 'b', 'c', 0}, 0x00636261},
        {"longer than 4 bytes", true, REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}, 100},
        {"shorter than 4 bytes", true, REG_BINARY, {0x2C, 0x01}, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        removeTree(HKEY_CURRENT_USER, SETTINGS_KEY);
        if (c.present) {
            ASSERT_TRUE(writeValue(HKEY_CURRENT_USER, SETTINGS_KEY, SETTINGS_VALUE, c.type, c.data));
        }
        const auto written = widthAfterLoading();
        ASSERT_TRUE(written.has_value()) << "the value is written at unload";
        EXPECT_EQ(written->type, static_cast<DWORD>(REG_BINARY));
        EXPECT_EQ(written->data, le32(c.width));
    }
    removeTree(HKEY_CURRENT_USER, SETTINGS_KEY);
}

}  // namespace
}  // namespace kestrel::shellext::test
