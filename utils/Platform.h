// The few operating-system services the foundation's portable code needs. Each backend
// folder (posix/, win32/) implements them once; nothing outside utils/ includes this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace TOVK_Utils::Platform {

// Virtual memory. Sizes are whole pages; a refusal is reported, never fatal here.
size_t pageSize();
void* reserve(size_t bytes);               // address space only; null when refused
bool commit(void* at, size_t bytes);       // make pages readable and writable
bool decommit(void* at, size_t bytes);     // give the pages back, keep the address space
void releaseRange(void* at, size_t bytes); // give the whole reservation back

// Conversion between the system's 8-bit code page and UTF-16 (0 = the ANSI code page).
// Characters the 8-bit side cannot represent become '#'.
std::u16string toWide(const char* chars, int32_t n, unsigned codePage);
std::string toNarrow(const char16_t* chars, int32_t n, unsigned codePage);

// The system's converters from other character sets to UTF-16, named by the set's
// Windows code page (Windows, where 0 is the ANSI code page) or by its name for iconv
// (POSIX). hasConverter answers whether the system can convert from the set at all.
bool hasConverter(unsigned codePage, const char* converterName);
bool convertToUtf16(const char* bytes, int32_t n, unsigned codePage, const char* converterName,
                    std::u16string& out);
// The code page in which 8-bit text of unknown origin that is not UTF-8 is read: the ANSI
// code page (0) on Windows, where such names come from; windows-1252 elsewhere.
unsigned rawTextCodePage();

// %NAME% references replaced by the environment's values; unknown names stay as written.
std::string expandEnvironment(const char* text);

// The system's last error code, for stops that read it.
unsigned long lastError();
[[noreturn]] void fatalStop(const char* text);
void debugMessage(const char* text);

} // namespace TOVK_Utils::Platform
