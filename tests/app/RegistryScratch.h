// Raw registry helpers for preparing and inspecting keys below HKEY_CURRENT_USER of the
// test's Wine prefix, independently of the code under test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace TOVK_Tests {

inline HKEY createKey(const std::string& path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    return key;
}

inline bool keyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

inline void deleteTree(const std::string& path) {
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

inline void setValue(const std::string& path, const char* name, DWORD type,
                     const std::string& bytes) {
    HKEY key = createKey(path);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// A text value with its terminating zero.
inline void setText(const std::string& path, const char* name, const std::string& text,
                    DWORD type = REG_SZ) {
    setValue(path, name, type, std::string(text.c_str(), text.size() + 1));
}

inline void setNumber(const std::string& path, const char* name, DWORD number) {
    setValue(path, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4));
}

inline void deleteValue(const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

// A value's type and bytes as the 8-bit call gives them; type REG_NONE when it is missing.
struct StoredValue {
    DWORD type = REG_NONE;
    std::string bytes;
};

inline StoredValue queryValue(const std::string& path, const char* name) {
    StoredValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    char buffer[4096];
    DWORD size = sizeof(buffer);
    if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer), &size) ==
        ERROR_SUCCESS)
        value.bytes.assign(buffer, size);
    else
        value.type = REG_NONE;
    RegCloseKey(key);
    return value;
}

} // namespace TOVK_Tests
