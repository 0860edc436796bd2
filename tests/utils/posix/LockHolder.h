// A child process that opens a file read-write and locks it with File::lock, then holds
// the lock until the object goes. Locks on POSIX are kept per process (or per open file),
// so only another process shows what a second program would meet.
#pragma once

#include "utils/File.h"
#include "utils/String.h"

#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace TOVK_Tests {

class LockHolder {
public:
    explicit LockHolder(const std::string& path) {
        int report[2];
        int release[2];
        if (pipe(report) != 0 || pipe(release) != 0)
            return;
        child_ = fork();
        if (child_ == 0) {
            // The child's own copy of the write end would keep its read from ever ending.
            close(release[1]);
            close(report[0]);
            TOVK_Utils::String name;
            name.assign(path.data(), static_cast<int32_t>(path.size()));
            TOVK_Utils::File file;
            char locked =
                file.openForReading(name, TOVK_Utils::File::Access::ReadWrite) && file.lock() ? 'y'
                                                                                              : 'n';
            (void)!write(report[1], &locked, 1);
            char ignored;
            (void)!read(release[0], &ignored, 1); // until the parent lets go
            _exit(0);
        }
        close(report[1]);
        close(release[0]);
        release_ = release[1];
        char answer = 'n';
        locked_ = child_ > 0 && read(report[0], &answer, 1) == 1 && answer == 'y';
        close(report[0]);
    }
    ~LockHolder() { let(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool locked() const { return locked_; }
    // Ends the child, and with it the lock.
    void let() {
        if (release_ >= 0)
            close(release_);
        release_ = -1;
        if (child_ > 0)
            waitpid(child_, nullptr, 0);
        child_ = -1;
    }

private:
    pid_t child_ = -1;
    int release_ = -1;
    bool locked_ = false;
};

} // namespace TOVK_Tests
