#include "utils/win32/RegistryContext.h"

#include "RegistryScratch.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

std::string textOf(const String& s) {
    return std::string(s.c_str(), s.length());
}

// A scratch key below Software, made afresh for each test and removed afterwards.
class RegistryContextTest : public ::testing::Test {
protected:
    const std::string path = "Software\\TovkRegistryTest";

    void SetUp() override {
        deleteTree(path);
        RegCloseKey(createKey(path));
    }
    void TearDown() override {
        registry.closeAll();
        deleteTree(path);
    }

    RegistryKey* scratch() {
        RegistryKey* software =
            registry.openKey(registry.currentUserRoot(), "Software", KeyAccess::ReadWrite);
        return registry.openKey(software, "TovkRegistryTest", KeyAccess::ReadWrite);
    }

    // "thrown" when the read threw RegistryFailure with throwOnError set.
    std::string readThrowing(const char* name, String& out) {
        registry.throwOnError = true;
        try {
            return registry.readString(scratch(), name, out) ? "read" : "false";
        } catch (int code) {
            return code == RegistryFailure ? "thrown" : "thrown another code";
        }
    }

    RegistryContext registry;
};

TEST_F(RegistryContextTest, WalkDownCreateAndCloseEverything) {
    RegistryKey* root = registry.currentUserRoot();
    RegistryKey* mine = scratch();
    RegistryKey* one = registry.openKey(mine, "One", KeyAccess::ReadWrite, IfMissing::Create);
    RegistryKey* two = registry.openKey(one, "Two", KeyAccess::ReadWrite, IfMissing::Create);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(registry.openKeyCount(), 4u);
    EXPECT_TRUE(keyExists(path + "\\One\\Two"));

    // The root may be the predefined key itself, which closing cannot invalidate.
    HKEY handles[] = {mine->handle(), one->handle(), two->handle()};
    registry.closeAll();
    EXPECT_EQ(registry.openKeyCount(), 0u);
    EXPECT_FALSE(root->isOpen());
    for (HKEY handle : handles)
        EXPECT_EQ(RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
    EXPECT_TRUE(registry.currentUserRoot()->isOpen());

    EXPECT_EQ(registry.openKeyForRead(registry.currentUserRoot(), "TovkNoSuchKey"), nullptr);
    EXPECT_EQ(registry.openKeyForRead(nullptr, "Software"), nullptr);
    EXPECT_EQ(registry.openKeyCount(), 0u);
    registry.throwOnError = true;
    EXPECT_THROW(registry.openKeyForRead(registry.currentUserRoot(), "TovkNoSuchKey"), int);
}

TEST_F(RegistryContextTest, TextValuesOfEveryShape) {
    setValue(path, "Empty", REG_SZ, std::string(1, '\0'));
    setValue(path, "ZeroBytes", REG_SZ, "");
    setText(path, "Plain", "C:\\Mail Store");
    setValue(path, "Binary", REG_BINARY, std::string("\0\1\0\2", 4));
    std::string big(100000, 'q');
    setText(path, "Big", big);
    // The system terminates most texts itself; a wide value of an odd byte count reads
    // back through the 8-bit call without its zero.
    HKEY raw = createKey(path);
    RegSetValueExW(raw, L"Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"abc"), 5);
    RegCloseKey(raw);
    StoredValue unterminated = queryValue(path, "Unterminated");
    ASSERT_FALSE(unterminated.bytes.empty());
    ASSERT_NE(unterminated.bytes.back(), 0);

    RegistryKey* key = scratch();
    String out("filled");
    for (const char* name : {"Empty", "ZeroBytes"}) {
        out = String("filled");
        ASSERT_TRUE(registry.readString(key, name, out)) << name;
        EXPECT_EQ(textOf(out), "") << name;
    }
    ASSERT_TRUE(registry.readString(key, "Unterminated", out));
    EXPECT_EQ(textOf(out), unterminated.bytes);
    ASSERT_TRUE(registry.readString(key, "Plain", out));
    EXPECT_EQ(textOf(out), "C:\\Mail Store");
    ASSERT_TRUE(registry.readString(key, "Binary", out));
    EXPECT_EQ(textOf(out), std::string("\0\1\0\2", 4));
    ASSERT_TRUE(registry.readString(key, "Big", out));
    EXPECT_TRUE(textOf(out) == big);
}

// Short texts expand exactly as the system's own expansion does them; long ones, which
// the system call would cut near 32 KiB, come back whole.
TEST_F(RegistryContextTest, ExpandedTextsMatchTheSystemAndAreNeverCut) {
    ASSERT_TRUE(SetEnvironmentVariableA("TOVK_REGISTRY_PLACE", "D:\\Profiles\\Ann"));
    ASSERT_TRUE(SetEnvironmentVariableA("TOVK_REGISTRY_EMPTY", ""));
    RegistryKey* key = scratch();
    for (const char* text :
         {"%TOVK_REGISTRY_PLACE%\\Mail", "%tovk_registry_place%", "a %TOVK_REGISTRY_UNSET% b",
          "%TOVK_REGISTRY_UNSET%TOVK_REGISTRY_PLACE%", "100%% and %", "%%TOVK_REGISTRY_PLACE%%",
          "[%TOVK_REGISTRY_EMPTY%]", ""}) {
        setText(path, "Value", text, REG_EXPAND_SZ);
        char expected[1024];
        ASSERT_GT(ExpandEnvironmentStringsA(text, expected, sizeof(expected)), 0u);
        String out;
        ASSERT_TRUE(registry.readString(key, "Value", out)) << text;
        EXPECT_EQ(textOf(out), std::string(expected)) << text;
    }

    std::string longValue(30000, 'v');
    ASSERT_TRUE(SetEnvironmentVariableA("TOVK_REGISTRY_LONG", longValue.c_str()));
    setText(path, "Long", "%TOVK_REGISTRY_LONG%|%TOVK_REGISTRY_LONG%", REG_EXPAND_SZ);
    String out;
    ASSERT_TRUE(registry.readString(key, "Long", out));
    EXPECT_EQ(out.length(), 60001);
    EXPECT_TRUE(textOf(out) == longValue + "|" + longValue);
    for (const char* name : {"TOVK_REGISTRY_PLACE", "TOVK_REGISTRY_EMPTY", "TOVK_REGISTRY_LONG"})
        SetEnvironmentVariableA(name, nullptr);
}

TEST_F(RegistryContextTest, OtherTypesAndMissingValuesFailWithoutTouchingTheText) {
    setValue(path, "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    setNumber(path, "Number", 5);
    for (const char* name : {"Multi", "Number", "Missing"}) {
        String out("keep");
        EXPECT_EQ(readThrowing(name, out), "thrown") << name;
        registry.throwOnError = false;
        EXPECT_FALSE(registry.readString(scratch(), name, out)) << name;
        EXPECT_EQ(textOf(out), "keep") << name;
    }
}

TEST_F(RegistryContextTest, NumbersAndFlagsNeverThrow) {
    setNumber(path, "Seven", 7);
    setNumber(path, "One", 1);
    setText(path, "Text", "1");
    setValue(path, "Binary", REG_BINARY, std::string("\1\0\0\0", 4));
    setValue(path, "Short", REG_DWORD, std::string("\1\0", 2));

    registry.throwOnError = true;
    RegistryKey* key = scratch();
    uint32_t number = 0;
    EXPECT_TRUE(registry.readDword(key, "Seven", number));
    EXPECT_EQ(number, 7u);
    bool flag = true;
    EXPECT_TRUE(registry.readBool(key, "Seven", flag));
    EXPECT_FALSE(flag);
    EXPECT_TRUE(registry.readBool(key, "One", flag));
    EXPECT_TRUE(flag);
    for (const char* name : {"Text", "Binary", "Short", "Missing"}) {
        number = 99;
        EXPECT_FALSE(registry.readDword(key, name, number)) << name;
        EXPECT_EQ(number, 99u) << name;
        for (bool before : {true, false}) {
            flag = before;
            EXPECT_FALSE(registry.readBool(key, name, flag)) << name;
            EXPECT_EQ(flag, before) << name;
        }
    }
}

TEST_F(RegistryContextTest, WritesStoreTextsWithTheirTerminator) {
    RegistryKey* key = scratch();
    EXPECT_TRUE(registry.writeString(key, "Narrow", String("C:\\Out")));
    EXPECT_TRUE(registry.writeString(key, "Empty", String("")));
    String wide;
    wide.setWide(true);
    const char16_t chars[] = {u'D', u':', 0x4E2D, 0x00E9, 0};
    wide.assign(chars, 4);
    EXPECT_TRUE(registry.writeString(key, "Wide", wide));
    EXPECT_TRUE(registry.writeDword(key, "Number", 0x01020304));
    EXPECT_TRUE(registry.writeBool(key, "Yes", true));
    EXPECT_TRUE(registry.writeBool(key, "No", false));

    EXPECT_EQ(queryValue(path, "Narrow").bytes, std::string("C:\\Out", 7));
    EXPECT_EQ(queryValue(path, "Empty").bytes, std::string(1, '\0'));
    EXPECT_EQ(queryValue(path, "Narrow").type, DWORD{REG_SZ});
    // Every character survives: the value holds the UTF-16 text and its zero.
    wchar_t stored[16] = {};
    DWORD type = 0;
    DWORD size = sizeof(stored);
    ASSERT_EQ(RegQueryValueExW(key->handle(), L"Wide", nullptr, &type,
                               reinterpret_cast<BYTE*>(stored), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD{REG_SZ});
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(stored), size / 2),
              std::u16string(chars, 5));
    EXPECT_EQ(queryValue(path, "Number").bytes, std::string("\4\3\2\1", 4));
    EXPECT_EQ(queryValue(path, "Number").type, DWORD{REG_DWORD});
    EXPECT_EQ(queryValue(path, "Yes").bytes, std::string("\1\0\0\0", 4));
    EXPECT_EQ(queryValue(path, "No").bytes, std::string(4, '\0'));

    EXPECT_FALSE(registry.writeString(nullptr, "Narrow", String("x")));
    registry.throwOnError = true;
    EXPECT_THROW(registry.writeDword(nullptr, "Number", 1), int);
}

// attempt ends a sequence at its first failing open, text read or write, whatever the
// context's own setting, closes every key, and answers whether the sequence got through.
TEST_F(RegistryContextTest, AttemptEndsAtTheFirstFailureAndClosesEveryKey) {
    setText(path, "Text", "there");
    // Each step adds its letter once it has returned.
    struct Case {
        const char* shows;
        std::function<void(std::string& trail)> steps;
        bool complete;
        const char* reached;
    };
    String text;
    bool flag = false;
    const Case cases[] = {
        {"every call succeeds",
         [&](std::string& trail) {
             RegistryKey* key = scratch();
             trail += "o";
             registry.readString(key, "Text", text);
             trail += "r";
             registry.writeDword(key, "Written", 7);
             trail += "w";
         },
         true, "orw"},
        {"a missing key ends it at the open",
         [&](std::string& trail) {
             RegistryKey* key = registry.openKeyForRead(scratch(), "NoSuchKey");
             trail += "o";
             registry.readString(key, "Text", text);
             trail += "r";
         },
         false, ""},
        {"a missing text ends it at the read",
         [&](std::string& trail) {
             RegistryKey* key = scratch();
             trail += "o";
             registry.readString(key, "Missing", text);
             trail += "r";
             registry.writeDword(key, "Written", 7);
             trail += "w";
         },
         false, "o"},
        {"a missing flag does not end it",
         [&](std::string& trail) {
             RegistryKey* key = scratch();
             registry.readBool(key, "MissingFlag", flag);
             trail += "b";
             registry.readString(key, "Text", text);
             trail += "r";
         },
         true, "br"},
        {"a write without a key ends it",
         [&](std::string& trail) {
             registry.writeString(nullptr, "Text", String("x"));
             trail += "w";
         },
         false, ""},
    };
    for (bool raising : {false, true}) {
        for (const Case& c : cases) {
            registry.throwOnError = raising;
            std::string trail;
            EXPECT_EQ(registry.attempt([&] { c.steps(trail); }), c.complete) << c.shows;
            EXPECT_EQ(trail, c.reached) << c.shows;
            EXPECT_EQ(registry.openKeyCount(), 0u) << c.shows;
            EXPECT_EQ(registry.throwOnError, raising) << c.shows;
        }
    }
    EXPECT_EQ(textOf(text), "there");
    EXPECT_EQ(queryValue(path, "Written").bytes, std::string("\7\0\0\0", 4));
}

TEST_F(RegistryContextTest, EnumeratesSubkeysUntilNoneAreLeft) {
    RegCloseKey(createKey(path + "\\Empty"));
    RegCloseKey(createKey(path + "\\Full\\Alpha"));
    RegCloseKey(createKey(path + "\\Full\\Beta"));

    SubKeyEnumerator none(registry.openKeyForRead(scratch(), "Empty"));
    String name("stale");
    EXPECT_FALSE(none.enumSubKey(name));
    EXPECT_EQ(name.length(), 0);
    EXPECT_EQ(none.index(), 0u);

    SubKeyEnumerator full(registry.openKeyForRead(scratch(), "Full"));
    std::set<std::string> names;
    while (full.enumSubKey(name))
        names.insert(textOf(name));
    EXPECT_EQ(names, (std::set<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(full.index(), 2u);
    EXPECT_EQ(name.length(), 0);
}

} // namespace
