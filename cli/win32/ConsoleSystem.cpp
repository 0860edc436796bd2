#include "cli/ConsoleSystem.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <io.h>

namespace {

// Kept apart because a question may take back an interrupt (it cancels the question)
// but never a request to end.
std::atomic<bool> interrupted{false};
std::atomic<bool> ending{false};

// Windows ends the process about five seconds after a close, logoff or shutdown event,
// and at once when the handler returns. Staying in the handler is what gives the job
// time to finish the message in progress; when it has, the main thread ends the process
// itself, with the handler still waiting. The bound leaves a margin before the kill.
constexpr DWORD endingGraceMs = 4000;

// Runs on a thread the system starts for each event. Logoff and shutdown reach only a
// console program that has not loaded user32 (ours has, for its fatal-error box); they
// are handled for the day it does not.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        interrupted.store(true);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        ending.store(true);
        Sleep(endingGraceMs);
        return TRUE;
    default:
        return FALSE;
    }
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

// The C runtime's signal() would cover Ctrl-C only, and Ctrl-Break or a closed window
// would still end the process in the middle of a write-back. A process started with
// Ctrl-C disabled keeps it disabled: its starter chose that.
void installStopHandlers() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool stopSignalled() {
    return interrupted.load() || ending.load();
}

void clearStopSignal() {
    interrupted.store(false);
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
            if (!line.empty() && !stopSignalled())
                return true;
            Sleep(50);
            return false;
        }
        if (stopSignalled())
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
