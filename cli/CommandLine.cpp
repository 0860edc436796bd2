#include "cli/CommandLine.h"

bool CommandLine::parse(int argc, const char* const* argv, std::string& error) {
    bool list = false, help = false, version = false, optionsEnded = false;
    bool haveOutput = false, haveBackup = false, haveReport = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            sources.push_back(arg);
            continue;
        }
        // "--output=DIR" and "-oDIR" as well as the separated forms.
        std::string value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            const size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
                arg.resize(equals);
                inlineValue = true;
            }
        } else if (arg.size() > 2) {
            value = arg.substr(2);
            arg.resize(2);
            inlineValue = true;
        }
        auto takeValue = [&](std::string& target, bool& seen) {
            if (seen) {
                error = "option " + arg + " given twice";
                return false;
            }
            if (!inlineValue) {
                if (i + 1 >= argc) {
                    error = "option " + arg + " needs a folder";
                    return false;
                }
                value = argv[++i];
            }
            if (value.empty()) {
                error = "option " + arg + " needs a folder";
                return false;
            }
            target = value;
            seen = true;
            return true;
        };
        auto flag = [&](bool& target) {
            if (inlineValue) {
                error = "option " + arg + " takes no value";
                return false;
            }
            target = true;
            return true;
        };
        bool ok;
        if (arg == "--")
            ok = flag(optionsEnded);
        else if (arg == "-o" || arg == "--output")
            ok = takeValue(output, haveOutput);
        else if (arg == "--backup")
            ok = takeValue(backup, haveBackup);
        else if (arg == "--report")
            ok = takeValue(report, haveReport);
        else if (arg == "--by-mailbox")
            ok = flag(byMailbox);
        else if (arg == "--cut")
            ok = flag(cut);
        else if (arg == "--rescue")
            ok = flag(rescue);
        else if (arg == "--eml")
            ok = flag(eml);
        else if (arg == "--yes" || arg == "-y")
            ok = flag(yes);
        else if (arg == "--list")
            ok = flag(list);
        else if (arg == "-q" || arg == "--quiet")
            ok = flag(quiet);
        else if (arg == "-h" || arg == "--help")
            ok = flag(help);
        else if (arg == "--version")
            ok = flag(version);
        else {
            error = "unknown option " + arg;
            ok = false;
        }
        if (!ok)
            return false;
    }
    if (help) {
        action = Action::Help;
        return true;
    }
    if (version) {
        action = Action::Version;
        return true;
    }
    if (list) {
        action = Action::List;
        if (sources.size() > 1) {
            error = "--list takes exactly one folder or none";
            return false;
        }
        if (sources.empty() && eml) {
            // Without a folder every store found is listed in its own form.
            error = "--list without a folder takes no --eml";
            return false;
        }
        if (haveOutput || haveBackup || cut || yes || rescue || haveReport || byMailbox) {
            error = "--list takes no other option than --eml";
            return false;
        }
        return true;
    }
    if (sources.empty()) {
        error = "no SOURCE given";
        return false;
    }
    if (!haveOutput) {
        error = "the destination folder is missing (-o DIR)";
        return false;
    }
    if (rescue && cut) {
        // Carved chains may be deleted messages or leftovers of earlier cuts: nothing may
        // be written into them.
        error = "--rescue only reads mailboxes and cannot be combined with --cut";
        return false;
    }
    if (rescue && eml) {
        error = "--rescue applies to .dbx mailboxes only, not with --eml";
        return false;
    }
    if (haveBackup && eml) {
        // Backups are copies of mailbox files; message trees have none to make.
        error = "--backup applies to .dbx mailboxes only, not with --eml";
        return false;
    }
    return true;
}
