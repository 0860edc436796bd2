// The few console services that differ between POSIX and Windows: terminals, the stop
// signals and reading an answer that Ctrl-C can interrupt.
#pragma once

#include <string>

namespace ConsoleSystem {

bool isTerminal(int fd);
// Columns of the terminal on standard error; 80 when it cannot be told.
int terminalColumns();

// Installs SIGINT and SIGTERM handlers that only raise the flag read by stopSignalled,
// so that no lock or queue is ever touched from a signal handler.
void installStopHandlers();
bool stopSignalled();
void clearStopSignal();

// While the returned state is live in this thread, the stop signals are kept away from
// it: the worker thread is started under it, so a signal always reaches the main thread
// (where it can interrupt a question being read). Nothing on Windows, where the console
// runs its handler on a thread of its own.
void blockStopSignals();
void unblockStopSignals();

// Reads one line from standard input without its line end. False at the end of input,
// on an error, or when a stop signal interrupted the read.
bool readLine(std::string& line);

// The current directory in the 8-bit code page; empty when it cannot be read.
std::string currentDirectory();

} // namespace ConsoleSystem
