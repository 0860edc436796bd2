#include "cli/CommandLine.h"

#include "engine/ExtractChoices.h"

namespace {

// What the arguments said beyond the fields of the command line itself.
struct Seen {
    bool list = false, help = false, version = false, optionsEnded = false;
    bool output = false, backup = false, only = false, minSize = false, report = false;
    std::string onlyValue, minSizeValue; // as given: parse reads them
};

// One "-x" or "--name" argument; "--output=DIR" and "-oDIR" carry their value in it.
struct Option {
    std::string name;
    std::string value;
    bool inlineValue = false;
};

Option splitOption(const std::string& arg) {
    Option option{arg, {}, false};
    if (arg.rfind("--", 0) == 0) {
        const size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            option.value = arg.substr(equals + 1);
            option.name.resize(equals);
            option.inlineValue = true;
        }
    } else if (arg.size() > 2) {
        option.value = arg.substr(2);
        option.name.resize(2);
        option.inlineValue = true;
    }
    return option;
}

// Walks the arguments once; a separated value ("-o DIR") is taken with its option.
class ArgumentReader {
public:
    ArgumentReader(CommandLine& line, int argc, const char* const* argv, std::string& error)
        : line_(line), argc_(argc), argv_(argv), error_(error) {}

    bool readAll() {
        for (i_ = 1; i_ < argc_; ++i_) {
            const std::string arg = argv_[i_];
            if (seen.optionsEnded || arg.empty() || arg[0] != '-' || arg == "-")
                line_.sources.push_back(arg);
            else if (!readOption(splitOption(arg)))
                return false;
        }
        return true;
    }

    Seen seen;

private:
    bool readOption(Option option) {
        const std::string& arg = option.name;
        if (arg == "--")
            return flag(option, seen.optionsEnded);
        if (arg == "-o" || arg == "--output")
            return takeValue(option, line_.output, seen.output);
        if (arg == "--backup")
            return takeValue(option, line_.backup, seen.backup);
        if (arg == "--report")
            return takeValue(option, line_.report, seen.report, "a file");
        if (arg == "--by-mailbox")
            return flag(option, line_.byMailbox);
        if (arg == "--cut")
            return flag(option, line_.cut);
        if (arg == "--rescue")
            return flag(option, line_.rescue);
        if (arg == "--eml")
            return flag(option, line_.eml);
        if (arg == "--yes" || arg == "-y")
            return flag(option, line_.yes);
        if (arg == "--skip-inline-images")
            return flag(option, line_.skipInlineImages);
        if (arg == "--only")
            return takeValue(option, seen.onlyValue, seen.only, "a list of file types");
        if (arg == "--min-size")
            return takeValue(option, seen.minSizeValue, seen.minSize, "a size");
        if (arg == "--note")
            return flag(option, line_.note);
        if (arg == "--list")
            return flag(option, seen.list);
        if (arg == "-q" || arg == "--quiet")
            return flag(option, line_.quiet);
        if (arg == "-h" || arg == "--help")
            return flag(option, seen.help);
        if (arg == "--version")
            return flag(option, seen.version);
        error_ = "unknown option " + arg;
        return false;
    }

    bool takeValue(Option& option, std::string& target, bool& given,
                   const char* what = "a folder") {
        if (given) {
            error_ = "option " + option.name + " given twice";
            return false;
        }
        if (!option.inlineValue) {
            if (i_ + 1 >= argc_) {
                error_ = "option " + option.name + " needs " + what;
                return false;
            }
            option.value = argv_[++i_];
        }
        if (option.value.empty()) {
            error_ = "option " + option.name + " needs " + what;
            return false;
        }
        target = option.value;
        given = true;
        return true;
    }

    bool flag(const Option& option, bool& target) {
        if (option.inlineValue) {
            error_ = "option " + option.name + " takes no value";
            return false;
        }
        target = true;
        return true;
    }

    CommandLine& line_;
    const int argc_;
    const char* const* argv_;
    std::string& error_;
    int i_ = 1;
};

bool checkList(const CommandLine& line, const Seen& seen, std::string& error) {
    if (line.sources.size() > 1) {
        error = "--list takes exactly one folder or none";
        return false;
    }
    if (line.sources.empty() && line.eml) {
        // Without a folder every store found is listed in its own form.
        error = "--list without a folder takes no --eml";
        return false;
    }
    if (seen.output || seen.backup || line.cut || line.yes || line.rescue ||
        line.skipInlineImages || seen.only || seen.minSize || line.note || seen.report ||
        line.byMailbox) {
        error = "--list takes no other option than --eml";
        return false;
    }
    return true;
}

bool checkExtraction(const CommandLine& line, const Seen& seen, std::string& error) {
    if (line.sources.empty()) {
        error = "no SOURCE given";
        return false;
    }
    if (!seen.output) {
        error = "the destination folder is missing (-o DIR)";
        return false;
    }
    if (line.rescue && line.cut) {
        // Carved chains may be deleted messages or leftovers of earlier cuts: nothing may
        // be written into them.
        error = "--rescue only reads mailboxes and cannot be combined with --cut";
        return false;
    }
    if (line.rescue && line.eml) {
        error = "--rescue applies to .dbx mailboxes only, not with --eml";
        return false;
    }
    if (seen.backup && line.eml) {
        // Backups are copies of mailbox files; message trees have none to make.
        error = "--backup applies to .dbx mailboxes only, not with --eml";
        return false;
    }
    return true;
}

} // namespace

bool CommandLine::parse(int argc, const char* const* argv, std::string& error) {
    ArgumentReader reader(*this, argc, argv, error);
    if (!reader.readAll())
        return false;
    const Seen& seen = reader.seen;
    if (seen.help) {
        action = Action::Help;
        return true;
    }
    if (seen.version) {
        action = Action::Version;
        return true;
    }
    if (seen.list) {
        action = Action::List;
        return checkList(*this, seen, error);
    }
    if (!readTakeValues(seen.onlyValue, seen.minSizeValue, error))
        return false;
    if (note && !cut) {
        error = "--note applies to cut messages only, with --cut";
        return false;
    }
    return checkExtraction(*this, seen, error);
}

bool CommandLine::readTakeValues(const std::string& onlyText, const std::string& minSizeText,
                                 std::string& error) {
    for (size_t start = 0; !onlyText.empty() && start <= onlyText.size();) {
        size_t end = onlyText.find(',', start);
        if (end == std::string::npos)
            end = onlyText.size();
        std::string type = onlyText.substr(start, end - start);
        if (!type.empty() && type[0] == '.')
            type.erase(0, 1);
        if (type.empty() || type.find_first_of(" ./\\") != std::string::npos) {
            error = "--only takes file types separated by commas, such as pdf,docx";
            return false;
        }
        onlyTypes.push_back(ExtractChoices::lowerCase(type));
        start = end + 1;
    }
    if (minSizeText.empty())
        return true;
    int64_t unit = 1;
    std::string digits = minSizeText;
    const char last = char(digits.back() | 0x20);
    if (last == 'k' || last == 'm') {
        unit = last == 'k' ? 1024 : 1024 * 1024;
        digits.pop_back();
    }
    // Ten digits of megabytes are more than any message holds; more would overflow.
    if (digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        error = "--min-size takes a number of bytes, or of kilobytes or megabytes with K or M";
        return false;
    }
    minSize = std::stoll(digits) * unit;
    return true;
}
