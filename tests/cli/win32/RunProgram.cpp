#include "../RunProgram.h"

#include <windows.h>

#include <fstream>
#include <string>

namespace {

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    // The program writes text-mode lines; compare them as the POSIX build writes them.
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            plain += text[i];
    return plain;
}

HANDLE inheritable(const std::filesystem::path& path, bool write) {
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr);
}

// Command-line quoting as the C runtime splits it.
std::string quoted(const std::string& text) {
    std::string q = "\"";
    size_t slashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        q.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        q += c;
    }
    q.append(slashes * 2, '\\');
    return q + "\"";
}

} // namespace

// The build gives the Unix path of the program; Wine shows the Unix root as drive Z:.
std::string programPath() {
    std::string path = KLOVIN_EXTRACT;
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

ProgramRun runProgram(const std::vector<std::string>& args, const std::filesystem::path& outputs) {
    const auto out = outputs / "stdout.txt", err = outputs / "stderr.txt";
    std::string command = quoted(programPath());
    for (const auto& a : args)
        command += " " + quoted(a);
    ProgramRun run;
    HANDLE in = inheritable(L"NUL", false);
    HANDLE o = inheritable(out, true), e = inheritable(err, true);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = o;
    start.hStdError = e;
    PROCESS_INFORMATION process{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back(0);
    // Under a loaded Wine a start can fail now and then; the program is never started
    // twice, since a failed start ran nothing.
    bool started = false;
    DWORD startError = 0;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &start, &process) != 0;
        if (!started) {
            startError = GetLastError();
            Sleep(200);
        }
    }
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        run.status = int(code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(in);
    CloseHandle(o);
    CloseHandle(e);
    run.out = slurp(out);
    run.err = slurp(err);
    if (!started)
        run.err += "(the program could not be started: error " + std::to_string(startError) + ")";
    return run;
}
