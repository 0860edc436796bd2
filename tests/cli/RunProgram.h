// Runs klovin-extract with standard input closed (a question is then answered with its
// cancelling choice and never waits), capturing its output and exit status.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ProgramRun {
    int status = -1;
    std::string out, err;
};

// The program's own path in the form the system's command shell takes.
std::string programPath();

ProgramRun runProgram(const std::vector<std::string>& args, const std::filesystem::path& outputs);
