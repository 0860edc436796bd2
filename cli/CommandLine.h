// CommandLine: the options and sources of one klovin-extract run, as given.
#pragma once

#include <string>
#include <vector>

class CommandLine {
public:
    enum class Action { Extract, List, Help, Version };

    // False on a usage error, with its text in error.
    bool parse(int argc, const char* const* argv, std::string& error);

    Action action = Action::Extract;
    std::vector<std::string> sources;
    std::string output;
    std::string backup;
    std::string report; // the list of the saved attachments (CSV)
    bool cut = false;
    bool rescue = false;
    bool eml = false;
    bool yes = false;
    bool quiet = false;
    bool byMailbox = false;
};
