// klovin-extract given console events while it cuts: Ctrl-Break stops it between two
// messages as Ctrl-C does, and a closed console window holds the process up until the
// job has reached its end.
//
// The events are delivered the way the system delivers them: a thread started in the
// program at kernelbase's CtrlRoutine, which calls the registered handlers. Wine 8 cannot
// send them otherwise: its GenerateConsoleCtrlEvent knows only CTRL_C_EVENT, closing its
// console window ends the attached processes without any event, and it drops every
// event for a process started in a new process group.
#include "../StoppedJob.h"

#include <windows.h>

#include <tlhelp32.h>

namespace {

HANDLE inheritable(const fs::path& path, bool write) {
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr);
}

struct Program {
    PROCESS_INFORMATION process{};

    bool start(const std::vector<std::string>& args, const fs::path& logs) {
        std::string command = "\"" + programPath() + "\"";
        for (const auto& a : args)
            command += " \"" + a + "\"";
        HANDLE in = inheritable(L"NUL", false);
        HANDLE out = inheritable(logs / "stdout.txt", true);
        HANDLE err = inheritable(logs / "stderr.txt", true);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
        std::vector<char> line(command.begin(), command.end());
        line.push_back(0);
        const bool started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                            nullptr, nullptr, &startup, &process);
        CloseHandle(in);
        CloseHandle(out);
        CloseHandle(err);
        return started;
    }

    bool running() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT; }

    DWORD wait() const {
        WaitForSingleObject(process.hProcess, 120000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }

    // The system's handler thread, started in the program for one event; null when this
    // system has no CtrlRoutine to start it at.
    HANDLE sendEvent(DWORD event) const {
        const HMODULE here = GetModuleHandleA("kernelbase.dll");
        const auto routine =
            here ? reinterpret_cast<const char*>(GetProcAddress(here, "CtrlRoutine")) : nullptr;
        if (!routine)
            return nullptr;
        // Found in the program's own module list, so that a different load address
        // there does not matter.
        const char* there = nullptr;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process.dwProcessId);
        if (snapshot == INVALID_HANDLE_VALUE)
            return nullptr;
        MODULEENTRY32 module{};
        module.dwSize = sizeof module;
        for (BOOL more = Module32First(snapshot, &module); more;
             more = Module32Next(snapshot, &module))
            if (_stricmp(module.szModule, "kernelbase.dll") == 0)
                there = reinterpret_cast<const char*>(module.hModule);
        CloseHandle(snapshot);
        if (!there)
            return nullptr;
        const auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(
            reinterpret_cast<uintptr_t>(there + (routine - reinterpret_cast<const char*>(here))));
        return CreateRemoteThread(process.hProcess, nullptr, 0, start,
                                  reinterpret_cast<void*>(uintptr_t(event)), 0, nullptr);
    }

    ~Program() {
        if (process.hProcess) {
            if (running())
                TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
};

} // namespace

class ConsoleEvents : public StoppedJob {
protected:
    std::string said() const { return readFile(root / "logs" / "stderr.txt"); }
};

TEST_F(ConsoleEvents, CtrlBreakStopsBetweenMessages) {
    makeMailbox(1500);
    Program program;
    ASSERT_TRUE(program.start(arguments(), root / "logs"));
    ASSERT_TRUE(waitUntilCutting([&] { return program.running(); }))
        << "the job ended before it could be stopped: " << program.wait();
    HANDLE handler = program.sendEvent(CTRL_BREAK_EVENT);
    if (!handler)
        GTEST_SKIP() << "no console handler thread can be started in the program here";
    CloseHandle(handler);
    EXPECT_EQ(program.wait(), 3u) << said();
    EXPECT_NE(said().find("Stopping after the message in progress."), std::string::npos) << said();
    expectEveryMessageWhole();
}

TEST_F(ConsoleEvents, AClosedConsoleWaitsForTheJobToReachItsEnd) {
    makeMailbox(1500);
    Program program;
    ASSERT_TRUE(program.start(arguments(), root / "logs"));
    ASSERT_TRUE(waitUntilCutting([&] { return program.running(); }))
        << "the job ended before it could be stopped: " << program.wait();
    HANDLE handler = program.sendEvent(CTRL_CLOSE_EVENT);
    if (!handler)
        GTEST_SKIP() << "no console handler thread can be started in the program here";
    const DWORD status = program.wait();
    EXPECT_EQ(status, 3u) << said();
    // Windows ends the process as soon as the handler returns. A handler thread that was
    // still waiting when the program ended by itself was ended with it and carries its
    // status; one that returned carries CtrlRoutine's.
    WaitForSingleObject(handler, 120000);
    DWORD handlerEnd = STILL_ACTIVE;
    GetExitCodeThread(handler, &handlerEnd);
    CloseHandle(handler);
    EXPECT_EQ(handlerEnd, status) << "the handler returned before the program ended";
    expectEveryMessageWhole();
}
