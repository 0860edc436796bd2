// RegistryContext: walks registry key paths one level at a time and remembers every key it
// opens, so that a caller can write a whole sequence of opens, reads and writes and then
// release everything with one closeAll. A caller runs such a sequence through attempt,
// which abandons the rest of it at the first failing open, text read or write, closes
// every key, and answers whether the sequence ran to its end:
//
//     RegistryContext &registry = RegistryContext::instance();
//     bool complete = registry.attempt([&] {
//         RegistryKey *key = registry.openKeyForRead(registry.currentUserRoot(), "Software");
//         registry.readString(key, "Value", text);
//     });
//
// Inside, a failure throws the int RegistryFailure (so each step need not be tested),
// and attempt catches it: the int never leaves this layer. Number reads never fail a
// sequence, so a missing flag does not end it.
// Only the user interface thread uses the registry; there is no lock.
#pragma once

#include "utils/String.h"
#include "utils/win32/RegistryKey.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace TOVK_Utils {

// The exception a failing operation throws when throwOnError is set.
constexpr int RegistryFailure = 0;

// How openKey opens a key: with which access, and whether a missing key is created.
enum class KeyAccess { Read, Write, ReadWrite };
enum class IfMissing { Fail, Create };

class RegistryContext {
public:
    // What a failing open, text read or write does outside attempt.
    enum class OnFailure { ReturnFalse, Throw };

    // The process's one context, for HKEY_CURRENT_USER, with throwOnError set.
    static RegistryContext& instance();

    explicit RegistryContext(OnFailure onFailure = OnFailure::ReturnFalse)
        : throwOnError(onFailure == OnFailure::Throw) {}
    RegistryContext(const RegistryContext&) = delete;
    RegistryContext& operator=(const RegistryContext&) = delete;
    ~RegistryContext() { closeAll(); }

    // HKEY_CURRENT_USER, opened for reading on first use after a closeAll. When that open
    // fails the returned key is not open, and every open below it fails.
    RegistryKey* currentUserRoot();
    // HKEY_LOCAL_MACHINE, the same way: read only, for what is installed for everybody.
    RegistryKey* localMachineRoot();

    // Runs a sequence of registry calls: the first failing open, text read or write ends
    // it (whatever throwOnError says meanwhile), and then every key is closed (closeAll),
    // also after a failure. True when the sequence ran to its end.
    bool attempt(const std::function<void()>& sequence);

    // Opens a subkey of parent with KEY_READ and/or KEY_WRITE; with IfMissing::Create a
    // missing one is created. Null on failure (or a throw with throwOnError); a null or
    // closed parent fails the same way.
    RegistryKey* openKey(RegistryKey* parent, const char* name, KeyAccess access,
                         IfMissing ifMissing = IfMissing::Fail);
    RegistryKey* openKeyForRead(RegistryKey* parent, const char* name) {
        return openKey(parent, name, KeyAccess::Read);
    }

    // A REG_SZ value without its terminating zero, a REG_EXPAND_SZ value with its
    // environment references expanded, or a REG_BINARY value's raw bytes, as 8-bit text.
    // Values of any size. Any other type, a missing value or a failed call fails (throws
    // with throwOnError); on failure out is left as it was.
    bool readString(RegistryKey* key, const char* valueName, String& out);
    // True only for an existing REG_DWORD value of 4 bytes; out is left alone otherwise.
    // Never throws.
    bool readDword(RegistryKey* key, const char* valueName, uint32_t& out);
    // The number 1 is true, any other number false; out is left alone when readDword
    // fails. Never throws.
    bool readBool(RegistryKey* key, const char* valueName, bool& out);

    // Writes text as REG_SZ with its terminating zero; wide text goes through the wide
    // call when the system has it, so no character is lost to the 8-bit code page.
    bool writeString(RegistryKey* key, const char* valueName, const String& text);
    bool writeDword(RegistryKey* key, const char* valueName, uint32_t value);
    bool writeBool(RegistryKey* key, const char* valueName, bool value) {
        return writeDword(key, valueName, value ? 1 : 0);
    }

    // Closes the roots and then every listed key, first opened first. Pointers handed out
    // before are invalid afterwards.
    void closeAll();

    // Keys opened through openKey and not yet closed (the root not counted).
    size_t openKeyCount() const { return keys_.size(); }

    bool throwOnError;

private:
    bool fail();

    RegistryKey root_;
    RegistryKey machineRoot_;
    std::vector<std::unique_ptr<RegistryKey>> keys_;
};

// The subkey names of one key in the registry's order: each successful call gives the
// next name.
class SubKeyEnumerator {
public:
    explicit SubKeyEnumerator(RegistryKey* key) : key_(key) {}

    // The name at the current index, which then advances; false, with the name emptied and
    // the index unchanged, when there is none (or the key is not open).
    bool enumSubKey(String& name);
    uint32_t index() const { return index_; }

private:
    RegistryKey* key_;
    uint32_t index_ = 0;
};

} // namespace TOVK_Utils
