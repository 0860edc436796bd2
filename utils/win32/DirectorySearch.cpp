// Windows backend of DirectorySearch: FindFirstFileA/FindNextFileA, or the wide pair
// through the table when the search is wide.
#include "utils/DirectorySearch.h"

#include "WideCallTable.h"
#include "utils/LightBlock.h"

#include <cstring>
#include <cwchar>

namespace TOVK_Utils {

namespace {

HANDLE handleOf(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Zeroed before each call so that no field of an earlier entry can show through.
union FindRecord {
    WIN32_FIND_DATAA narrow;
    WIN32_FIND_DATAW wide;
};

void describe(const WIN32_FIND_DATAA& record, String& name, uint64_t& size, uint32_t& attributes) {
    name.assign(LightBlock(record.cFileName, static_cast<int32_t>(std::strlen(record.cFileName))));
    size = (uint64_t(record.nFileSizeHigh) << 32) | record.nFileSizeLow;
    attributes = record.dwFileAttributes;
}

void describe(const WIN32_FIND_DATAW& record, String& name, uint64_t& size, uint32_t& attributes) {
    name.assign(LightBlock(record.cFileName, static_cast<int32_t>(std::wcslen(record.cFileName)),
                           Width::Wide));
    size = (uint64_t(record.nFileSizeHigh) << 32) | record.nFileSizeLow;
    attributes = record.dwFileAttributes;
}

} // namespace

bool DirectorySearch::systemFirst() {
    FindRecord record = {};
    String pattern;
    HANDLE search;
    if (wide_) {
        pattern.toWide(*this);
        search = WideCallTable::instance().FindFirstFileW(
            reinterpret_cast<const wchar_t*>(pattern.w_str()), &record.wide);
    } else {
        pattern.toNarrow(*this);
        search = FindFirstFileA(pattern.c_str(), &record.narrow);
    }
    if (search == INVALID_HANDLE_VALUE)
        return false;
    handle_ = reinterpret_cast<intptr_t>(search);
    if (wide_)
        describe(record.wide, name_, size_, attributes_);
    else
        describe(record.narrow, name_, size_, attributes_);
    return true;
}

bool DirectorySearch::systemNext() {
    if (handle_ == -1)
        return false;
    FindRecord record = {};
    if (wide_) {
        if (!WideCallTable::instance().FindNextFileW(handleOf(handle_), &record.wide))
            return false;
        describe(record.wide, name_, size_, attributes_);
    } else {
        if (!FindNextFileA(handleOf(handle_), &record.narrow))
            return false;
        describe(record.narrow, name_, size_, attributes_);
    }
    return true;
}

void DirectorySearch::systemClose() {
    FindClose(handleOf(handle_));
}

} // namespace TOVK_Utils
