// The few console services that differ between POSIX and Windows: terminals, the stop
// signals and reading an answer that Ctrl-C can interrupt.
#pragma once

#include <string>

namespace ConsoleSystem {

bool isTerminal(int fd);
// Columns of the terminal on standard error; 80 when it cannot be told.
int terminalColumns();

// Turns every request to stop, from the user or the system, into the flag read by
// stopSignalled, so that the job stops between messages and never leaves a stored
// message half cut; no lock or queue is touched from a handler. POSIX: SIGINT, SIGTERM
// and SIGHUP (one that the program's starter ignored, as nohup does, stays ignored);
// SIGPIPE is ignored, so output into a closed pipe is lost and the job goes on. Windows:
// Ctrl-C, Ctrl-Break, and the console closing, logoff and shutdown, whose handler holds
// the process up for at most 4 s, since Windows ends it when the handler returns.
void installStopHandlers();
bool stopSignalled();
// Takes back an interrupt (Ctrl-C), which at a question means "cancel this". A request
// to end (SIGTERM, a hang-up, a closed console) stays: nobody is left to answer.
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
