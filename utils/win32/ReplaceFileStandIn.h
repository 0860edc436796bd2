// Lets tests stand in for the system's ReplaceFile, to replay the failures that Windows
// documents but cannot be made to produce on demand. Not for the program itself.
#pragma once

#include <windows.h>

namespace TOVK_Utils {

using ReplaceFileACall = BOOL(WINAPI*)(LPCSTR, LPCSTR, LPCSTR, DWORD, LPVOID, LPVOID);
using ReplaceFileWCall = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID);

// From now on replaceBeside calls these instead of the system's; null puts the system's
// back.
void standInForReplaceFile(ReplaceFileACall narrow, ReplaceFileWCall wide);

} // namespace TOVK_Utils
