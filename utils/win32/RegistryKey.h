// RegistryKey: one open registry key handle. The keys a program walks through are owned
// by the RegistryContext that opened them; callers only point at them, and the pointer
// stays valid until the context's closeAll.
#pragma once

#include <windows.h>

namespace TOVK_Utils {

class RegistryKey {
public:
    RegistryKey() = default;
    explicit RegistryKey(HKEY handle) : handle_(handle) {}
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { close(); }

    // Null while nothing is open.
    HKEY handle() const { return handle_; }
    bool isOpen() const { return handle_ != nullptr; }
    // Takes ownership of a handle, closing the one held before.
    void reset(HKEY handle) {
        close();
        handle_ = handle;
    }
    void close();

private:
    HKEY handle_ = nullptr;
};

} // namespace TOVK_Utils
