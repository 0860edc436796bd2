#include "cli/ConsoleSystem.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

std::atomic<bool> stopFlag{false};

void onStopSignal(int) {
    stopFlag.store(true);
}

void setStopMask(int how) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
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
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a read waiting for an answer must return
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool stopSignalled() {
    return stopFlag.load();
}

void clearStopSignal() {
    stopFlag.store(false);
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
        if (stopFlag.load())
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
