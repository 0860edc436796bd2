// CommandLine: the options and sources of one klovin-extract run, as given.
#pragma once

#include <cstdint>
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
    // --by-mailbox: each mailbox's attachments in a folder of its own.
    bool byMailbox = false;
    // What to take: --skip-inline-images, --only EXT[,EXT...] (lower case, no dots),
    // --min-size SIZE in bytes; and --note, a note in each cut message.
    bool skipInlineImages = false;
    std::vector<std::string> onlyTypes;
    int64_t minSize = 0;
    bool note = false;

private:
    // False, with the error, when the values of --only or --min-size do not read.
    bool readTakeValues(const std::string& onlyText, const std::string& minSizeText,
                        std::string& error);
};
