#include "WideCallTable.h"

#include "utils/Fatal.h"

namespace TOVK_Utils {

namespace {

const char* const libraryNames[WideCallTable::LibraryCount] = {"shell32.dll", "kernel32.dll",
                                                               "user32.dll", "advapi32.dll"};

struct Entry {
    const char* name;
    WideCallTable::Library library;
};

const Entry entries[WideCallTable::FunctionCount] = {
    {"SHGetFileInfoW", WideCallTable::Shell32},
    {"SHGetPathFromIDListW", WideCallTable::Shell32},
    {"SHBrowseForFolderW", WideCallTable::Shell32},
    {"FindFirstFileW", WideCallTable::Kernel32},
    {"FindNextFileW", WideCallTable::Kernel32},
    {"GetFileAttributesW", WideCallTable::Kernel32},
    {"SetWindowTextW", WideCallTable::User32},
    {"GetWindowTextW", WideCallTable::User32},
    {"CreateFileW", WideCallTable::Kernel32},
    {"RegSetValueExW", WideCallTable::Advapi32},
    {"CreateDirectoryW", WideCallTable::Kernel32},
    {"DeleteFileW", WideCallTable::Kernel32},
    {"MoveFileExW", WideCallTable::Kernel32},
    {"CopyFileW", WideCallTable::Kernel32},
    {"SetFileAttributesW", WideCallTable::Kernel32},
    {"CreateWindowExW", WideCallTable::User32},
// 32-bit user32 has no "Ptr" forms: its headers map them to the 32-bit calls.
#ifdef _WIN64
    {"SetWindowLongPtrW", WideCallTable::User32},
    {"GetWindowLongPtrW", WideCallTable::User32},
#else
    {"SetWindowLongW", WideCallTable::User32},
    {"GetWindowLongW", WideCallTable::User32},
#endif
    {"CallWindowProcW", WideCallTable::User32},
    {"DefWindowProcW", WideCallTable::User32},
};

} // namespace

WideCallTable& WideCallTable::instance() {
    static WideCallTable table;
    return table;
}

WideCallTable::WideCallTable() {
    HMODULE kernel = LoadLibraryA(libraryNames[Kernel32]);
    libraries_[Kernel32].store(kernel);
    wideCapable_ = kernel != nullptr && GetProcAddress(kernel, "GetFileAttributesW") != nullptr;
}

void* WideCallTable::address(Function which) {
    void* known = functions_[which].load();
    if (known)
        return known;
    const Entry& entry = entries[which];
    HMODULE library = libraries_[entry.library].load();
    if (!library) {
        // Loaded for the rest of the process; a racing load only raises its use count.
        library = LoadLibraryA(libraryNames[entry.library]);
        libraries_[entry.library].store(library);
    }
    FARPROC found = library ? GetProcAddress(library, entry.name) : nullptr;
    if (!found)
        fatalError("Unicode function called on non-unicode OS");
    void* resolved = reinterpret_cast<void*>(found);
    functions_[which].store(resolved);
    return resolved;
}

DWORD_PTR WideCallTable::SHGetFileInfoW(LPCWSTR path, DWORD attributes, SHFILEINFOW* info,
                                        UINT infoSize, UINT flags) {
    using Call = DWORD_PTR(WINAPI*)(LPCWSTR, DWORD, SHFILEINFOW*, UINT, UINT);
    return function<Call>(FunctionSHGetFileInfoW)(path, attributes, info, infoSize, flags);
}

BOOL WideCallTable::SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path) {
    using Call = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, LPWSTR);
    return function<Call>(FunctionSHGetPathFromIDListW)(list, path);
}

PIDLIST_ABSOLUTE WideCallTable::SHBrowseForFolderW(LPBROWSEINFOW info) {
    using Call = PIDLIST_ABSOLUTE(WINAPI*)(LPBROWSEINFOW);
    return function<Call>(FunctionSHBrowseForFolderW)(info);
}

HANDLE WideCallTable::FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    using Call = HANDLE(WINAPI*)(LPCWSTR, LPWIN32_FIND_DATAW);
    return function<Call>(FunctionFindFirstFileW)(pattern, data);
}

BOOL WideCallTable::FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data) {
    using Call = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW);
    return function<Call>(FunctionFindNextFileW)(search, data);
}

DWORD WideCallTable::GetFileAttributesW(LPCWSTR path) {
    using Call = DWORD(WINAPI*)(LPCWSTR);
    return function<Call>(FunctionGetFileAttributesW)(path);
}

BOOL WideCallTable::SetWindowTextW(HWND window, LPCWSTR text) {
    using Call = BOOL(WINAPI*)(HWND, LPCWSTR);
    return function<Call>(FunctionSetWindowTextW)(window, text);
}

int WideCallTable::GetWindowTextW(HWND window, LPWSTR text, int capacity) {
    using Call = int(WINAPI*)(HWND, LPWSTR, int);
    return function<Call>(FunctionGetWindowTextW)(window, text, capacity);
}

HANDLE WideCallTable::CreateFileW(LPCWSTR path, DWORD access, DWORD sharing,
                                  LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                  HANDLE templateFile) {
    using Call =
        HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    return function<Call>(FunctionCreateFileW)(path, access, sharing, security, disposition, flags,
                                               templateFile);
}

LSTATUS WideCallTable::RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                                      const BYTE* data, DWORD size) {
    using Call = LSTATUS(WINAPI*)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);
    return function<Call>(FunctionRegSetValueExW)(key, name, reserved, type, data, size);
}

BOOL WideCallTable::CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
    using Call = BOOL(WINAPI*)(LPCWSTR, LPSECURITY_ATTRIBUTES);
    return function<Call>(FunctionCreateDirectoryW)(path, security);
}

BOOL WideCallTable::DeleteFileW(LPCWSTR path) {
    using Call = BOOL(WINAPI*)(LPCWSTR);
    return function<Call>(FunctionDeleteFileW)(path);
}

BOOL WideCallTable::MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    using Call = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
    return function<Call>(FunctionMoveFileExW)(from, to, flags);
}

BOOL WideCallTable::CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
    using Call = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, BOOL);
    return function<Call>(FunctionCopyFileW)(from, to, failIfExists);
}

BOOL WideCallTable::SetFileAttributesW(LPCWSTR path, DWORD attributes) {
    using Call = BOOL(WINAPI*)(LPCWSTR, DWORD);
    return function<Call>(FunctionSetFileAttributesW)(path, attributes);
}

HWND WideCallTable::CreateWindowExW(DWORD extendedStyle, LPCWSTR className, LPCWSTR title,
                                    DWORD style, int x, int y, int width, int height, HWND parent,
                                    HMENU menu, HINSTANCE instance, LPVOID parameter) {
    using Call = HWND(WINAPI*)(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU,
                               HINSTANCE, LPVOID);
    return function<Call>(FunctionCreateWindowExW)(extendedStyle, className, title, style, x, y,
                                                   width, height, parent, menu, instance,
                                                   parameter);
}

LONG_PTR WideCallTable::SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
    using Call = LONG_PTR(WINAPI*)(HWND, int, LONG_PTR);
    return function<Call>(FunctionSetWindowLongPtrW)(window, index, value);
}

LONG_PTR WideCallTable::GetWindowLongPtrW(HWND window, int index) {
    using Call = LONG_PTR(WINAPI*)(HWND, int);
    return function<Call>(FunctionGetWindowLongPtrW)(window, index);
}

LRESULT WideCallTable::CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM first,
                                       LPARAM second) {
    using Call = LRESULT(WINAPI*)(WNDPROC, HWND, UINT, WPARAM, LPARAM);
    return function<Call>(FunctionCallWindowProcW)(procedure, window, message, first, second);
}

LRESULT WideCallTable::DefWindowProcW(HWND window, UINT message, WPARAM first, LPARAM second) {
    using Call = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
    return function<Call>(FunctionDefWindowProcW)(window, message, first, second);
}

} // namespace TOVK_Utils
