#include "app/StoreDiscovery.h"

#include "app/AppSettings.h"
#include "app/ClientProgram.h"
#include "utils/win32/RegistryContext.h"

#include "RegistryScratch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

const std::string identities = "Identities";
const std::string windowsMail = "Software\\Microsoft\\Windows Mail";
const std::string windowsLiveMail = "Software\\Microsoft\\Windows Live Mail";
const std::string outlookPath = "\\Software\\Microsoft\\Outlook Express\\5.0";

std::string textOf(const String& s) {
    return std::string(s.c_str(), s.length());
}

// A folder of the test's own below the temporary folder, made and removed by the test.
std::string scratchFolder(const char* name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "tovk-discovery-" + name;
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

class StoreDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        deleteTree(identities);
        hadWindowsMail = keyExists(windowsMail);
        hadWindowsLiveMail = keyExists(windowsLiveMail);
        deleteValue(windowsMail, "Store Root");
        deleteValue(windowsLiveMail, "Store Root");
        // The default folder is looked for below LOCALAPPDATA: point it at a scratch
        // folder, so that what the prefix holds does not count.
        char local[MAX_PATH] = {};
        hadLocal = GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH) > 0;
        oldLocal = local;
        localAppData = scratchFolder("local");
        SetEnvironmentVariableA("LOCALAPPDATA", localAppData.c_str());
        liveDefault = localAppData + "\\Microsoft\\Windows Live Mail";
        RemoveDirectoryA(liveDefault.c_str());
        for (const char* name : {"oe1", "oe2", "wm", "wlm"})
            folders.push_back(scratchFolder(name));
        settings.outlookExpressStoreRoot = String("kept");
        settings.windowsMailStoreRoot = String("kept");
        settings.windowsLiveMailStoreRoot = String("kept");
    }
    void TearDown() override {
        deleteTree(identities);
        for (auto [had, path] : {std::pair{hadWindowsMail, windowsMail},
                                 std::pair{hadWindowsLiveMail, windowsLiveMail}}) {
            if (had)
                deleteValue(path, "Store Root");
            else
                deleteTree(path);
        }
        RemoveDirectoryA(liveDefault.c_str());
        RemoveDirectoryA((localAppData + "\\Microsoft").c_str());
        RemoveDirectoryA(localAppData.c_str());
        for (const std::string& folder : folders)
            RemoveDirectoryA(folder.c_str());
        SetEnvironmentVariableA("LOCALAPPDATA", hadLocal ? oldLocal.c_str() : nullptr);
        SetEnvironmentVariableA("TOVK_DISCOVERY_DATA", nullptr);
    }

    // Two identities, the one the registry enumerates second made the default and last
    // user; their names in enumeration order.
    static std::pair<std::string, std::string> twoIdentities() {
        const std::string a = "{A1B2C3D4-0000-0000-0000-000000000001}";
        const std::string b = "{0F1E2D3C-0000-0000-0000-000000000002}";
        RegCloseKey(createKey(identities + "\\" + a));
        RegCloseKey(createKey(identities + "\\" + b));
        HKEY key = createKey(identities);
        char name[256];
        DWORD length = sizeof(name);
        EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        std::string first(name, length);
        std::string second = first == a ? b : a;
        setText(identities, "Default User ID", second);
        setText(identities, "Last User ID", second);
        return {first, second};
    }

    StoreReadings read() {
        StoreReadings readings = readStoreReadings();
        EXPECT_EQ(RegistryContext::instance().openKeyCount(), 0u);
        return readings;
    }

    AppSettings settings;
    bool hadWindowsMail = false;
    bool hadWindowsLiveMail = false;
    bool hadLocal = false;
    std::string oldLocal;
    std::string localAppData;
    std::string liveDefault;
    std::vector<std::string> folders; // oe1, oe2, wm, wlm
};

TEST_F(StoreDiscoveryTest, EveryIdentityInEnumerationOrderWithValuesExpanded) {
    auto [first, second] = twoIdentities();
    ASSERT_TRUE(SetEnvironmentVariableA("TOVK_DISCOVERY_DATA", "C:\\Data"));
    setText(identities + "\\" + first + outlookPath, "Store Root",
            "%TOVK_DISCOVERY_DATA%\\First Store", REG_EXPAND_SZ);
    setText(identities + "\\" + second + outlookPath, "Store Root", "C:\\Default Store");
    StoreReadings readings = read();
    EXPECT_EQ(readings.identityRoots,
              (std::vector<std::string>{"C:\\Data\\First Store", "C:\\Default Store"}));
}

TEST_F(StoreDiscoveryTest, WhatIsMissingOrNotTextIsNoStore) {
    struct Case {
        const char* shows;
        std::function<void(const std::string& first, const std::string& second)> prepare;
        std::vector<std::string> roots;
    };
    const std::vector<Case> cases = {
        {"no store value anywhere", [](auto&, auto&) {}, {}},
        {"only the second identity has a store: it still counts",
         [](auto&, auto& second) {
             setText(identities + "\\" + second + outlookPath, "Store Root", "C:\\Second");
         },
         {"C:\\Second"}},
        {"a number is not a store root",
         [](auto& first, auto&) {
             setNumber(identities + "\\" + first + outlookPath, "Store Root", 1);
         },
         {}},
        {"the first identity with a text",
         [](auto& first, auto&) {
             setText(identities + "\\" + first + outlookPath, "Store Root", "C:\\First");
         },
         {"C:\\First"}},
    };
    {
        SCOPED_TRACE("no Identities key");
        EXPECT_TRUE(read().identityRoots.empty());
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        deleteTree(identities);
        auto [first, second] = twoIdentities();
        c.prepare(first, second);
        EXPECT_EQ(read().identityRoots, c.roots);
    }
}

TEST_F(StoreDiscoveryTest, WindowsMailAndWindowsLiveMailRoots) {
    ASSERT_TRUE(SetEnvironmentVariableA("TOVK_DISCOVERY_DATA", "D:\\Mail"));
    setValue(windowsMail, "Store Root", REG_MULTI_SZ, std::string("C:\\x\0\0", 6));
    StoreReadings readings = read();
    EXPECT_EQ(readings.windowsMailRoot, "");
    EXPECT_EQ(readings.windowsLiveMailRoot, "");
    EXPECT_EQ(readings.windowsLiveMailDefault, liveDefault);

    setText(windowsMail, "Store Root", "C:\\Users\\Ann\\AppData\\Local\\Microsoft\\Windows Mail");
    setText(windowsLiveMail, "Store Root", "%TOVK_DISCOVERY_DATA%\\Live", REG_EXPAND_SZ);
    readings = read();
    EXPECT_EQ(readings.windowsMailRoot, "C:\\Users\\Ann\\AppData\\Local\\Microsoft\\Windows Mail");
    EXPECT_EQ(readings.windowsLiveMailRoot, "D:\\Mail\\Live");

    setText(windowsMail, "Store Root", "%TOVK_DISCOVERY_DATA%\\Vista", REG_EXPAND_SZ);
    EXPECT_EQ(read().windowsMailRoot, "D:\\Mail\\Vista");

    // A plain text is taken as it stands.
    setText(windowsLiveMail, "Store Root", "%TOVK_DISCOVERY_DATA%\\Live");
    EXPECT_EQ(read().windowsLiveMailRoot, "%TOVK_DISCOVERY_DATA%\\Live");
}

// The whole discovery for each system version: which stores the folders confirm, and
// which client is served.
TEST_F(StoreDiscoveryTest, TheClientServedOnEachVersion) {
    const std::string& oe = folders[0];
    const std::string& wm = folders[2];
    const std::string& wlm = folders[3];
    struct Case {
        const char* shows;
        bool outlook, mail, live, liveDefault;
        uint32_t version;
        MailClient served;
        size_t stores;
    };
    const Case cases[] = {
        {"none, XP", false, false, false, false, 5, MailClient::OutlookExpress, 0},
        {"none, Vista and 7", false, false, false, false, 6, MailClient::WindowsMail, 0},
        {"none, 10", false, false, false, false, 10, MailClient::OutlookExpress, 0},
        {"Outlook Express alone, 10", true, false, false, false, 10, MailClient::OutlookExpress, 1},
        {"Outlook Express alone, 7", true, false, false, false, 6, MailClient::OutlookExpress, 1},
        {"Windows Mail alone, XP", false, true, false, false, 5, MailClient::WindowsMail, 1},
        {"Windows Live Mail alone, 10", false, false, true, false, 10, MailClient::WindowsLiveMail,
         1},
        {"Windows Live Mail alone, 7", false, false, true, false, 6, MailClient::WindowsLiveMail,
         1},
        {"Windows Live Mail's default folder, 10", false, false, false, true, 10,
         MailClient::WindowsLiveMail, 1},
        {"all three, XP", true, true, true, false, 5, MailClient::OutlookExpress, 3},
        {"all three, Vista", true, true, true, false, 6, MailClient::WindowsMail, 3},
        {"Mail and Live Mail, 10", false, true, true, false, 10, MailClient::WindowsLiveMail, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        deleteTree(identities);
        deleteValue(windowsMail, "Store Root");
        deleteValue(windowsLiveMail, "Store Root");
        RemoveDirectoryA(liveDefault.c_str());
        auto [first, second] = twoIdentities();
        // A store root whose folder is missing never counts.
        setText(identities + "\\" + second + outlookPath, "Store Root", "C:\\no such store");
        if (c.outlook)
            setText(identities + "\\" + first + outlookPath, "Store Root", oe);
        if (c.mail)
            setText(windowsMail, "Store Root", wm);
        if (c.live)
            setText(windowsLiveMail, "Store Root", wlm);
        if (c.liveDefault) {
            CreateDirectoryA((localAppData + "\\Microsoft").c_str(), nullptr);
            CreateDirectoryA(liveDefault.c_str(), nullptr);
        }
        MailStores stores = discoverMailStores(c.version);
        EXPECT_EQ(stores.served, c.served);
        EXPECT_EQ(stores.stores.size(), c.stores);
        AppSettings taken;
        takeStoreRoots(stores, taken);
        EXPECT_EQ(textOf(taken.outlookExpressStoreRoot), c.outlook ? oe : "");
        EXPECT_EQ(textOf(taken.windowsMailStoreRoot), c.mail ? wm : "");
        EXPECT_EQ(textOf(taken.windowsLiveMailStoreRoot),
                  c.live ? wlm : (c.liveDefault ? liveDefault : ""));
    }
}

TEST_F(StoreDiscoveryTest, RootsWithoutAStoreAreKept) {
    setText(windowsLiveMail, "Store Root", folders[3]);
    takeStoreRoots(discoverMailStores(10), settings);
    EXPECT_EQ(textOf(settings.windowsLiveMailStoreRoot), folders[3]);
    EXPECT_EQ(textOf(settings.outlookExpressStoreRoot), "kept");
    EXPECT_EQ(textOf(settings.windowsMailStoreRoot), "kept");
}

TEST(ClientProgramTest, WindowsLiveMailPlaces) {
    struct Case {
        const char* shows;
        std::vector<std::string> appPaths, folders, places;
    };
    const std::vector<Case> cases = {
        {"nothing known", {"", ""}, {"", ""}, {}},
        {"App Paths first, unquoted, then each program-files folder",
         {"\"C:\\Live\\wlmail.exe\"", "C:\\Machine\\wlmail.exe"},
         {"C:\\Program Files", "C:\\Program Files (x86)\\"},
         {"C:\\Live\\wlmail.exe", "C:\\Machine\\wlmail.exe",
          "C:\\Program Files\\Windows Live\\Mail\\wlmail.exe",
          "C:\\Program Files (x86)\\Windows Live\\Mail\\wlmail.exe"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(windowsLiveMailPlaces(c.appPaths, c.folders), c.places) << c.shows;
}

TEST(ClientProgramTest, FixedProgramsAreExpandedAndWindowsLiveMailOnlyWhenFound) {
    String path;
    ASSERT_TRUE(findClientProgram(MailClient::OutlookExpress, path));
    EXPECT_NE(textOf(path).find("\\outlook express\\msimn.exe"), std::string::npos);
    EXPECT_EQ(textOf(path).find('%'), std::string::npos);
    ASSERT_TRUE(findClientProgram(MailClient::WindowsMail, path));
    EXPECT_NE(textOf(path).find("\\Windows Mail\\WinMail.exe"), std::string::npos);

    // A program-files folder of the test's own, with and then without the program.
    char old[MAX_PATH] = {};
    GetEnvironmentVariableA("ProgramFiles", old, MAX_PATH);
    const std::string programs = scratchFolder("programs");
    const std::string live = programs + "\\Windows Live";
    const std::string mail = live + "\\Mail";
    const std::string program = mail + "\\wlmail.exe";
    SetEnvironmentVariableA("ProgramFiles", programs.c_str());
    // The prefix's own App Paths would name another program: then only the places are tried.
    const bool appPathsNameIt = [] {
        HKEY key = nullptr;
        bool named = RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                   "Software\\Microsoft\\Windows\\CurrentVersion\\App "
                                   "Paths\\wlmail.exe",
                                   0, KEY_READ, &key) == ERROR_SUCCESS;
        if (named)
            RegCloseKey(key);
        return named;
    }();
    String found;
    if (!appPathsNameIt) {
        EXPECT_FALSE(findClientProgram(MailClient::WindowsLiveMail, found));
    }
    CreateDirectoryA(live.c_str(), nullptr);
    CreateDirectoryA(mail.c_str(), nullptr);
    CloseHandle(CreateFileA(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!appPathsNameIt) {
        ASSERT_TRUE(findClientProgram(MailClient::WindowsLiveMail, found));
        EXPECT_EQ(textOf(found), program);
    }
    EXPECT_EQ(RegistryContext::instance().openKeyCount(), 0u);
    DeleteFileA(program.c_str());
    RemoveDirectoryA(mail.c_str());
    RemoveDirectoryA(live.c_str());
    RemoveDirectoryA(programs.c_str());
    SetEnvironmentVariableA("ProgramFiles", old);
}

} // namespace
