// The whole-file-system flush of Linux (syncfs), and whether it can be trusted. Only since
// Linux 5.8 does syncfs report a write-back error that happened before the call (one that
// the kernel's own write-back met earlier): before, it says yes although bytes written
// since the last flush never reached the disk. Then each file is flushed on its own,
// whose fsync has always reported such an error. Not for callers outside utils/posix/.
#pragma once

namespace TOVK_Utils {

// Whether a kernel of this release ("5.10.0-21-amd64") reports earlier write-back errors
// to syncfs; a release that cannot be read counts as one that does not.
bool syncfsReportsEarlierErrors(const char* release);
// The running kernel's answer, asked once; false where there is no syncfs.
bool syncfsTrusted();
// syncfs of the file system holding the open descriptor, through the flush probe; false
// on any error.
bool syncFileSystemOf(int fd);

} // namespace TOVK_Utils
