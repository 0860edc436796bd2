#include "cli/ConsoleSystem.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Kept apart because a question may take back an interrupt (it cancels the question)
// but never a request to end.
std::atomic<bool> interrupted{false};
std::atomic<bool> ending{false};

void onInterrupt(int) {
    interrupted.store(true);
}

void onEnding(int) {
    ending.store(true);
}

struct StopSignal {
    int number;
    void (*handler)(int);
};

// A closed terminal must not end the process in the middle of a write-back any more
// than a kill does.
constexpr StopSignal stopSignals[] = {
    {SIGINT, onInterrupt}, {SIGTERM, onEnding}, {SIGHUP, onEnding}};

void setStopMask(int how) {
    sigset_t set;
    sigemptyset(&set);
    for (const StopSignal& s : stopSignals)
        sigaddset(&set, s.number);
    pthread_sigmask(how, &set, nullptr);
}

} // namespace

namespace ConsoleSystem {

bool isTerminal(int fd) {
    return isatty(fd) == 1;
}

int terminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void installStopHandlers() {
    // Output piped into a reader that quit early (head) is no reason to leave a message
    // half cut: the write fails with EPIPE, which the prints ignore, and the job goes on.
    std::signal(SIGPIPE, SIG_IGN);
    for (const StopSignal& s : stopSignals) {
        struct sigaction old {};
        sigaction(s.number, nullptr, &old);
        // nohup, or a background job of a script: the starter chose to keep us running.
        if (old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = s.handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: a read waiting for an answer must return
        sigaction(s.number, &action, nullptr);
    }
}

bool stopSignalled() {
    return interrupted.load() || ending.load();
}

void clearStopSignal() {
    interrupted.store(false);
}

void blockStopSignals() {
    setStopMask(SIG_BLOCK);
}

void unblockStopSignals() {
    setStopMask(SIG_UNBLOCK);
}

bool readLine(std::string& line) {
    line.clear();
    for (;;) {
        if (stopSignalled())
            return false;
        char c;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            return false;
        if (n <= 0)
            return !line.empty();
        if (c == '\n')
            return true;
        if (c != '\r')
            line += c;
    }
}

std::string currentDirectory() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

} // namespace ConsoleSystem
