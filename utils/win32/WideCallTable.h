// WideCallTable: the UTF-16 ("W") system calls, looked up by name on first use instead of
// linked, so that the program still starts on systems that only have the 8-bit calls.
// Callers take a wide path only when isWideCapable is true and their own text is wide;
// calling a function the system lacks is a fatal stop.
#pragma once

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <atomic>

namespace TOVK_Utils {

class WideCallTable {
public:
    // The one table of the process, made on first use.
    static WideCallTable& instance();

    WideCallTable(const WideCallTable&) = delete;
    WideCallTable& operator=(const WideCallTable&) = delete;

    // Whether kernel32 offers the wide calls (checked once, by GetFileAttributesW).
    bool isWideCapable() const { return wideCapable_; }

    // The platform functions, with their own arguments and results.
    DWORD_PTR SHGetFileInfoW(LPCWSTR path, DWORD attributes, SHFILEINFOW* info, UINT infoSize,
                             UINT flags);
    BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path);
    PIDLIST_ABSOLUTE SHBrowseForFolderW(LPBROWSEINFOW info);
    HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
    BOOL FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data);
    DWORD GetFileAttributesW(LPCWSTR path);
    BOOL SetWindowTextW(HWND window, LPCWSTR text);
    int GetWindowTextW(HWND window, LPWSTR text, int capacity);
    HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD sharing, LPSECURITY_ATTRIBUTES security,
                       DWORD disposition, DWORD flags, HANDLE templateFile);
    LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD size);
    // The file helpers' calls for wide names.
    BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
    BOOL DeleteFileW(LPCWSTR path);
    BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
    BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
    BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes);
    // The window framework's calls for controls that hold wide text: a control is a
    // Unicode window only when it is made and subclassed through these.
    HWND CreateWindowExW(DWORD extendedStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x,
                         int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                         LPVOID parameter);
    LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
    LONG_PTR GetWindowLongPtrW(HWND window, int index);
    LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM first,
                            LPARAM second);
    LRESULT DefWindowProcW(HWND window, UINT message, WPARAM first, LPARAM second);

    enum Library { Shell32, Kernel32, User32, Advapi32, LibraryCount };
    enum Function {
        FunctionSHGetFileInfoW,
        FunctionSHGetPathFromIDListW,
        FunctionSHBrowseForFolderW,
        FunctionFindFirstFileW,
        FunctionFindNextFileW,
        FunctionGetFileAttributesW,
        FunctionSetWindowTextW,
        FunctionGetWindowTextW,
        FunctionCreateFileW,
        FunctionRegSetValueExW,
        FunctionCreateDirectoryW,
        FunctionDeleteFileW,
        FunctionMoveFileExW,
        FunctionCopyFileW,
        FunctionSetFileAttributesW,
        FunctionCreateWindowExW,
        FunctionSetWindowLongPtrW,
        FunctionGetWindowLongPtrW,
        FunctionCallWindowProcW,
        FunctionDefWindowProcW,
        FunctionCount
    };
    // Whether a function has been looked up already (it is then never looked up again).
    bool isResolved(Function function) const { return functions_[function].load() != nullptr; }

private:
    WideCallTable();
    // The function's address, loading its library and looking it up on first use.
    void* address(Function function);
    template <class Pointer> Pointer function(Function which) {
        return reinterpret_cast<Pointer>(address(which));
    }

    // Filled lazily without a lock: two threads racing can only store the same value twice.
    std::atomic<HMODULE> libraries_[LibraryCount] = {};
    std::atomic<void*> functions_[FunctionCount] = {};
    bool wideCapable_ = false;
};

} // namespace TOVK_Utils
