#include "Question.h"

#include "utils/win32/WideCallTable.h"

#include <ole2.h>
#include <shlobj.h>

namespace NApp {

using TOVK_Utils::Block;
using TOVK_Utils::String;
using TOVK_Utils::WideCallTable;

namespace {

// The dialog of the new style needs OLE on the calling thread; balanced per call.
struct OleForThisCall {
    OleForThisCall() : ok(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleForThisCall() {
        if (ok)
            OleUninitialize();
    }
    bool ok;
};

void freeWithShellAllocator(LPITEMIDLIST list) {
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(list);
        allocator->Release();
    }
}

} // namespace

bool browseForFolder(Block& result, Window* owner, const String& prompt, TOVK_Utils::Width width) {
    OleForThisCall ole;
    WideCallTable& table = WideCallTable::instance();
    const bool wide = width == TOVK_Utils::Width::Wide && table.isWideCapable();
    HWND ownerHandle = owner ? owner->handle : nullptr;

    LPITEMIDLIST list;
    String title;
    if (wide) {
        title.toWide(prompt);
        BROWSEINFOW info = {};
        info.hwndOwner = ownerHandle;
        info.lpszTitle = reinterpret_cast<LPCWSTR>(title.w_str());
        info.ulFlags = BIF_NEWDIALOGSTYLE;
        list = table.SHBrowseForFolderW(&info);
    } else {
        title.toNarrow(prompt);
        BROWSEINFOA info = {};
        info.hwndOwner = ownerHandle;
        info.lpszTitle = title.c_str();
        info.ulFlags = BIF_NEWDIALOGSTYLE;
        list = SHBrowseForFolderA(&info);
    }
    if (!list)
        return false;

    // Items such as Computer or Network have no path: they are refused like a cancel,
    // and the result is written only with a real path.
    String path;
    path.setWide(wide);
    path.setSize(MAX_PATH);
    BOOL found = wide ? table.SHGetPathFromIDListW(list, reinterpret_cast<LPWSTR>(path.data()))
                      : SHGetPathFromIDListA(list, reinterpret_cast<char*>(path.data()));
    freeWithShellAllocator(list);
    if (!found)
        return false;
    int32_t n = 0;
    while (n < MAX_PATH && path.charAt(n) != 0)
        ++n;
    path.resize(n);
    result.assign(path);
    return true;
}

} // namespace NApp
