#include "utils/win32/RegistryContext.h"

#include "utils/File.h"
#include "utils/Platform.h"
#include "utils/win32/WideCallTable.h"

#include <cstring>
#include <string>
#include <vector>

namespace TOVK_Utils {

RegistryContext& RegistryContext::instance() {
    static RegistryContext context(OnFailure::Throw);
    return context;
}

bool RegistryContext::fail() {
    if (throwOnError)
        throw RegistryFailure;
    return false;
}

RegistryKey* RegistryContext::currentUserRoot() {
    if (!root_.isOpen()) {
        HKEY handle = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &handle) == ERROR_SUCCESS)
            root_.reset(handle);
    }
    return &root_;
}

RegistryKey* RegistryContext::localMachineRoot() {
    if (!machineRoot_.isOpen()) {
        HKEY handle = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &handle) == ERROR_SUCCESS)
            machineRoot_.reset(handle);
    }
    return &machineRoot_;
}

bool RegistryContext::attempt(const std::function<void()>& sequence) {
    // Restored however the sequence ends, so that a caller's own choice outlives it.
    struct Raising {
        explicit Raising(bool& flag) : flag(flag), before(flag) { flag = true; }
        ~Raising() { flag = before; }
        bool& flag;
        bool before;
    };
    bool complete = true;
    {
        Raising raising(throwOnError);
        try {
            sequence();
        } catch (int) {
            complete = false;
        }
    }
    closeAll();
    return complete;
}

RegistryKey* RegistryContext::openKey(RegistryKey* parent, const char* name, KeyAccess access,
                                      IfMissing ifMissing) {
    if (!parent || !parent->isOpen()) {
        fail();
        return nullptr;
    }
    const REGSAM rights =
        (access != KeyAccess::Write ? KEY_READ : 0) | (access != KeyAccess::Read ? KEY_WRITE : 0);
    HKEY handle = nullptr;
    LSTATUS status;
    if (ifMissing == IfMissing::Create)
        status = RegCreateKeyExA(parent->handle(), name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 rights, nullptr, &handle, nullptr);
    else
        status = RegOpenKeyExA(parent->handle(), name, 0, rights, &handle);
    if (status != ERROR_SUCCESS) {
        fail();
        return nullptr;
    }
    keys_.push_back(std::make_unique<RegistryKey>(handle));
    return keys_.back().get();
}

bool RegistryContext::readString(RegistryKey* key, const char* valueName, String& out) {
    if (!key || !key->isOpen())
        return fail();
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key->handle(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return fail();

    // One spare zero behind the data, so that even an unterminated text can be handed to
    // the expansion. The value may grow between the size query and the read: then the
    // read reports the new size and is tried again.
    std::vector<char> data;
    DWORD got = 0;
    for (;;) {
        if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_BINARY)
            return fail();
        if (size > File::MaxBlockBytes)
            return fail();
        data.assign(size_t{size} + 1, 0);
        got = size;
        LSTATUS status = RegQueryValueExA(key->handle(), valueName, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &got);
        if (status == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (status != ERROR_SUCCESS || got > size)
            return fail();
        break;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_BINARY)
        return fail();

    if (type == REG_BINARY) {
        out.setWide(false);
        out.assign(data.data(), static_cast<int32_t>(got));
        return true;
    }
    // Texts are stored with their terminating zero, but nothing forces a writer to include
    // it: drop the last byte only when it is that zero.
    DWORD length = got;
    if (length > 0 && data[length - 1] == 0)
        --length;
    if (type == REG_SZ) {
        out.setWide(false);
        out.assign(data.data(), static_cast<int32_t>(length));
        return true;
    }
    data[length] = 0;
    std::string expanded = Platform::expandEnvironment(data.data());
    if (expanded.size() > File::MaxBlockBytes)
        return fail();
    out.setWide(false);
    out.assign(expanded.data(), static_cast<int32_t>(expanded.size()));
    return true;
}

bool RegistryContext::readDword(RegistryKey* key, const char* valueName, uint32_t& out) {
    if (!key || !key->isOpen())
        return false;
    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof(number);
    if (RegQueryValueExA(key->handle(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(&number),
                         &size) != ERROR_SUCCESS)
        return false;
    // A REG_DWORD written with fewer bytes would leave part of the number unread.
    if (type != REG_DWORD || size != sizeof(number))
        return false;
    out = number;
    return true;
}

bool RegistryContext::readBool(RegistryKey* key, const char* valueName, bool& out) {
    uint32_t number = 0;
    if (!readDword(key, valueName, number))
        return false;
    out = number == 1;
    return true;
}

bool RegistryContext::writeString(RegistryKey* key, const char* valueName, const String& text) {
    if (!key || !key->isOpen())
        return fail();
    LSTATUS status;
    WideCallTable& wide = WideCallTable::instance();
    if (text.isWide() && wide.isWideCapable()) {
        String name;
        name.toWide(Block(valueName ? valueName : ""));
        DWORD bytes = static_cast<DWORD>(text.length()) * 2 + 2;
        status = wide.RegSetValueExW(key->handle(), reinterpret_cast<LPCWSTR>(name.w_str()), 0,
                                     REG_SZ, reinterpret_cast<const BYTE*>(text.w_str()), bytes);
    } else {
        // Without the wide calls a wide text goes to the system in the 8-bit code page.
        String narrow;
        const String* chars = &text;
        if (text.isWide()) {
            narrow.toNarrow(text);
            chars = &narrow;
        }
        DWORD bytes = static_cast<DWORD>(chars->length()) + 1;
        status = RegSetValueExA(key->handle(), valueName, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(chars->c_str()), bytes);
    }
    if (status != ERROR_SUCCESS)
        return fail();
    return true;
}

bool RegistryContext::writeDword(RegistryKey* key, const char* valueName, uint32_t value) {
    if (!key || !key->isOpen())
        return fail();
    DWORD number = value;
    if (RegSetValueExA(key->handle(), valueName, 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&number), sizeof(number)) != ERROR_SUCCESS)
        return fail();
    return true;
}

void RegistryContext::closeAll() {
    root_.close();
    machineRoot_.close();
    for (auto& key : keys_)
        key->close();
    keys_.clear();
}

bool SubKeyEnumerator::enumSubKey(String& name) {
    // Key names are at most 255 characters, so this buffer always holds one.
    char buffer[256];
    DWORD length = sizeof(buffer);
    if (!key_ || !key_->isOpen() ||
        RegEnumKeyExA(key_->handle(), index_, buffer, &length, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
        name.setWide(false);
        name.clear();
        return false;
    }
    name.setWide(false);
    name.assign(buffer, static_cast<int32_t>(length));
    ++index_;
    return true;
}

} // namespace TOVK_Utils
