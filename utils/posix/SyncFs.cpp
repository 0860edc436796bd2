#include "SyncFs.h"

#include "utils/File.h"

#include <cerrno>
#include <cstdlib>
#include <sys/utsname.h>
#include <unistd.h>

namespace TOVK_Utils {

namespace {

// The number at text, and text moved past it; false when no digit is there.
bool readNumber(const char*& text, long& number) {
    char* end = nullptr;
    if (*text < '0' || *text > '9')
        return false;
    errno = 0;
    number = std::strtol(text, &end, 10);
    text = end;
    return errno == 0;
}

} // namespace

bool syncfsReportsEarlierErrors(const char* release) {
    long major = 0;
    long minor = 0;
    if (!release || !readNumber(release, major) || *release++ != '.' || !readNumber(release, minor))
        return false;
    return major > 5 || (major == 5 && minor >= 8);
}

bool syncfsTrusted() {
#ifdef __linux__
    static const bool trusted = [] {
        struct utsname names;
        return uname(&names) == 0 && syncfsReportsEarlierErrors(names.release);
    }();
    return trusted;
#else
    return false;
#endif
}

bool syncFileSystemOf(int fd) {
#ifdef __linux__
    return File::flushMayGoOn() && syncfs(fd) == 0;
#else
    (void)fd;
    return false;
#endif
}

} // namespace TOVK_Utils
