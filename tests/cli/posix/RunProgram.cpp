#include "../RunProgram.h"

#include <fstream>
#include <sys/wait.h>

namespace {

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

std::string programPath() {
    return KLOVIN_EXTRACT;
}

ProgramRun runProgram(const std::vector<std::string>& args, const std::filesystem::path& outputs) {
    const auto out = outputs / "stdout.txt", err = outputs / "stderr.txt";
    std::string command = quoted(programPath());
    for (const auto& a : args)
        command += " " + quoted(a);
    command += " </dev/null >" + quoted(out.string()) + " 2>" + quoted(err.string());
    ProgramRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
}
