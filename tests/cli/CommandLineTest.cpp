// The command line as klovin-extract reads it, without running anything.
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    bool ok;
    std::string error;
    CommandLine line;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "klovin-extract");
    Parsed parsed;
    parsed.ok = parsed.line.parse(static_cast<int>(args.size()), args.data(), parsed.error);
    return parsed;
}

} // namespace

// Each usage error has its own text; a refused line never counts as parsed.
TEST(CommandLineTest, UsageErrorsSayWhatIsWrong) {
    struct Case {
        std::vector<const char*> args;
        const char* error;
    };
    for (const Case& c : std::vector<Case>{
             {{}, "no SOURCE given"},
             {{"in"}, "the destination folder is missing (-o DIR)"},
             {{"--bogus", "in"}, "unknown option --bogus"},
             {{"--bogus=x", "in"}, "unknown option --bogus"},
             {{"-o"}, "option -o needs a folder"},
             {{"--output="}, "option --output needs a folder"},
             {{"--backup"}, "option --backup needs a folder"},
             {{"-o", "a", "-ob", "in"}, "option -o given twice"},
             {{"--backup=a", "--backup", "b"}, "option --backup given twice"},
             {{"--cut=yes"}, "option --cut takes no value"},
             {{"-yq", "in"}, "option -y takes no value"},
             {{"--=x"}, "option -- takes no value"},
             {{"--list", "--eml"}, "--list without a folder takes no --eml"},
             {{"--list", "a", "b"}, "--list takes exactly one folder or none"},
             {{"--list", "--yes", "a"}, "--list takes no other option than --eml"},
             {{"--list", "-o", "out", "a"}, "--list takes no other option than --eml"},
             {{"--rescue", "--cut", "-o", "out", "in"},
              "--rescue only reads mailboxes and cannot be combined with --cut"},
             {{"--rescue", "--eml", "-o", "out", "in"},
              "--rescue applies to .dbx mailboxes only, not with --eml"},
             {{"--backup", "b", "--eml", "-o", "out", "in"},
              "--backup applies to .dbx mailboxes only, not with --eml"},
         }) {
        const Parsed parsed = parse(c.args);
        const std::string shown = c.args.empty() ? "(nothing)" : c.args[0];
        EXPECT_FALSE(parsed.ok) << shown;
        EXPECT_EQ(parsed.error, c.error) << shown;
    }
}

// Values come inline or separated, in either spelling; "--" ends the options.
TEST(CommandLineTest, OptionsAndSourcesAreTaken) {
    struct Case {
        const char* shows;
        std::vector<const char*> args;
        std::vector<std::string> sources;
        std::string output, backup;
        bool cut, rescue, eml, yes, quiet;
    };
    for (const Case& c : std::vector<Case>{
             {"separated value",
              {"-o", "out", "a.dbx"},
              {"a.dbx"},
              "out",
              "",
              false,
              false,
              false,
              false,
              false},
             {"inline values",
              {"-oout", "--backup=b", "a", "b"},
              {"a", "b"},
              "out",
              "b",
              false,
              false,
              false,
              false,
              false},
             {"long output, flags",
              {"--output", "out", "--cut", "-y", "-q", "a"},
              {"a"},
              "out",
              "",
              true,
              false,
              false,
              true,
              true},
             {"long flag names",
              {"--yes", "--quiet", "--rescue", "-o", "o", "a"},
              {"a"},
              "o",
              "",
              false,
              true,
              false,
              true,
              true},
             {"eml tree",
              {"--eml", "-o", "o", "tree"},
              {"tree"},
              "o",
              "",
              false,
              false,
              true,
              false,
              false},
             {"a lone dash is a source",
              {"-o", "o", "-"},
              {"-"},
              "o",
              "",
              false,
              false,
              false,
              false,
              false},
             {"after -- everything is a source",
              {"-o", "o", "--", "--cut", "-q"},
              {"--cut", "-q"},
              "o",
              "",
              false,
              false,
              false,
              false,
              false},
             {"a value may start with a dash",
              {"-o", "-x", "a"},
              {"a"},
              "-x",
              "",
              false,
              false,
              false,
              false,
              false},
         }) {
        const Parsed parsed = parse(c.args);
        ASSERT_TRUE(parsed.ok) << c.shows << ": " << parsed.error;
        const CommandLine& line = parsed.line;
        EXPECT_EQ(line.action, CommandLine::Action::Extract) << c.shows;
        EXPECT_EQ(line.sources, c.sources) << c.shows;
        EXPECT_EQ(line.output, c.output) << c.shows;
        EXPECT_EQ(line.backup, c.backup) << c.shows;
        EXPECT_EQ(line.cut, c.cut) << c.shows;
        EXPECT_EQ(line.rescue, c.rescue) << c.shows;
        EXPECT_EQ(line.eml, c.eml) << c.shows;
        EXPECT_EQ(line.yes, c.yes) << c.shows;
        EXPECT_EQ(line.quiet, c.quiet) << c.shows;
    }
}

// Help and version win over every later check; --list wants one folder and --eml at most.
TEST(CommandLineTest, ActionsOtherThanExtracting) {
    struct Case {
        std::vector<const char*> args;
        CommandLine::Action action;
    };
    for (const Case& c : std::vector<Case>{
             {{"-h"}, CommandLine::Action::Help},
             {{"--help", "--rescue", "--cut"}, CommandLine::Action::Help},
             {{"--version"}, CommandLine::Action::Version},
             {{"--version", "--help"}, CommandLine::Action::Help},
             {{"--list", "folder"}, CommandLine::Action::List},
             {{"--eml", "--list", "tree"}, CommandLine::Action::List},
             {{"-q", "--list", "folder"}, CommandLine::Action::List},
         }) {
        const Parsed parsed = parse(c.args);
        EXPECT_TRUE(parsed.ok) << c.args[0] << ": " << parsed.error;
        EXPECT_EQ(parsed.line.action, c.action) << c.args[0];
    }
}
