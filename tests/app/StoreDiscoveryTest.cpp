#include "app/StoreDiscovery.h"

#include "app/AppSettings.h"
#include "utils/win32/RegistryContext.h"

#include "RegistryScratch.h"

#include <gtest/gtest.h>

#include <string>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

const std::string identities = "Identities";
const std::string windowsMail = "Software\\Microsoft\\Windows Mail";
const std::string outlookPath = "\\Software\\Microsoft\\Outlook Express\\5.0";

std::string textOf(const String& s) {
    return std::string(s.c_str(), s.length());
}

class StoreDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        deleteTree(identities);
        hadWindowsMail = keyExists(windowsMail);
        deleteValue(windowsMail, "Store Root");
        settings.outlookExpressStoreRoot = String("kept");
        settings.windowsMailStoreRoot = String("kept");
    }
    void TearDown() override {
        deleteTree(identities);
        if (hadWindowsMail)
            deleteValue(windowsMail, "Store Root");
        else
            deleteTree(windowsMail);
    }

    // Two identities; returns their names with the one the registry enumerates first
    // in front, and makes the other the default and last user.
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

    void expectOutlookRoot(const std::string& expected) {
        findOutlookExpressStoreRoot(settings);
        EXPECT_EQ(textOf(settings.outlookExpressStoreRoot), expected);
        EXPECT_EQ(RegistryContext::instance().openKeyCount(), 0u);
    }
    void expectWindowsMailRoot(const std::string& expected) {
        findWindowsMailStoreRoot(settings);
        EXPECT_EQ(textOf(settings.windowsMailStoreRoot), expected);
        EXPECT_EQ(RegistryContext::instance().openKeyCount(), 0u);
    }

    AppSettings settings;
    bool hadWindowsMail = false;
};

TEST_F(StoreDiscoveryTest, OutlookExpressUsesTheFirstEnumeratedIdentity) {
    auto [first, second] = twoIdentities();
    ASSERT_TRUE(SetEnvironmentVariableA("TOVK_DISCOVERY_DATA", "C:\\Data"));
    setText(identities + "\\" + first + outlookPath, "Store Root",
            "%TOVK_DISCOVERY_DATA%\\First Store", REG_EXPAND_SZ);
    setText(identities + "\\" + second + outlookPath, "Store Root", "C:\\Default Store");
    expectOutlookRoot("C:\\Data\\First Store");
    EXPECT_EQ(textOf(settings.windowsMailStoreRoot), "kept");
    SetEnvironmentVariableA("TOVK_DISCOVERY_DATA", nullptr);
}

TEST_F(StoreDiscoveryTest, OutlookExpressKeepsTheRootWhenAnythingIsMissing) {
    expectOutlookRoot("kept"); // no "Identities" at all

    RegCloseKey(createKey(identities)); // no identity below it
    expectOutlookRoot("kept");

    // Only the second identity has a store: the first one decides all the same.
    auto [first, second] = twoIdentities();
    setText(identities + "\\" + second + outlookPath, "Store Root", "C:\\Second");
    expectOutlookRoot("kept");

    RegCloseKey(createKey(identities + "\\" + first + outlookPath)); // key without the value
    expectOutlookRoot("kept");

    setNumber(identities + "\\" + first + outlookPath, "Store Root", 1);
    expectOutlookRoot("kept");

    setText(identities + "\\" + first + outlookPath, "Store Root", "C:\\First");
    expectOutlookRoot("C:\\First");
}

TEST_F(StoreDiscoveryTest, WindowsMailStoreRoot) {
    deleteTree(windowsMail);
    expectWindowsMailRoot("kept");

    setValue(windowsMail, "Store Root", REG_MULTI_SZ, std::string("C:\\x\0\0", 6));
    expectWindowsMailRoot("kept");

    setText(windowsMail, "Store Root", "C:\\Users\\Ann\\AppData\\Local\\Microsoft\\Windows Mail");
    expectWindowsMailRoot("C:\\Users\\Ann\\AppData\\Local\\Microsoft\\Windows Mail");
    EXPECT_EQ(textOf(settings.outlookExpressStoreRoot), "kept");
}

} // namespace
