#include "cli/ConsoleSystem.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <io.h>

namespace {

std::atomic<bool> stopFlag{false};

void onStopSignal(int signal) {
    // The runtime puts the default action back before calling a handler; a second
    // Ctrl-C would otherwise end the process in the middle of a write-back.
    std::signal(signal, onStopSignal);
    stopFlag.store(true);
}

} // namespace

namespace ConsoleSystem {

bool isTerminal(int fd) {
    return _isatty(fd) != 0;
}

int terminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}

void installStopHandlers() {
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

bool stopSignalled() {
    return stopFlag.load();
}

void clearStopSignal() {
    stopFlag.store(false);
}

void blockStopSignals() {}
void unblockStopSignals() {}

bool readLine(std::string& line) {
    line.clear();
    for (;;) {
        const int c = std::fgetc(stdin);
        // Ctrl-C ends a console read with nothing; the handler has raised the flag by
        // the time the read returns, or very soon after.
        if (c == EOF) {
            if (!line.empty() && !stopFlag.load())
                return true;
            Sleep(50);
            return false;
        }
        if (stopFlag.load())
            return false;
        if (c == '\n')
            return true;
        if (c != '\r')
            line += char(c);
    }
}

std::string currentDirectory() {
    char buffer[MAX_PATH * 2];
    const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

} // namespace ConsoleSystem
