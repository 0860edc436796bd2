// klovin-extract: the extraction job of the desktop program behind a command line. It
// turns the arguments into the settings and ticked rows the job reads, runs one job per
// store folder through the console view, and adds up what the jobs did.
#include "cli/CommandLine.h"
#include "cli/ConsoleSystem.h"
#include "cli/ConsoleView.h"
#include "cli/LocalStores.h"
#include "cli/RowList.h"
#include "engine/CutCaution.h"
#include "engine/ExtractThread.h"
#include "engine/StoreListing.h"
#include "utils/FileSystem.h"
#include "utils/Path.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using TOVK_Utils::Block;
using TOVK_Utils::Path;
using TOVK_Utils::String;

namespace {

enum ExitStatus { Extracted = 0, Incomplete = 1, UsageError = 2, Halted = 3 };

const char* const usageText =
    "Usage: klovin-extract [options] SOURCE...\n"
    "       klovin-extract --list [--eml] [FOLDER]\n"
    "\n"
    "Extracts the attachments of Outlook Express mailboxes (.dbx) and of message files\n"
    "(.eml) into one folder.\n"
    "\n"
    "SOURCE is a .dbx mailbox file or a store folder, whose .dbx mailboxes are all\n"
    "taken; with --eml, a folder whose subfolders holding .eml files are all taken.\n"
    "\n"
    "Options:\n"
    "  -o, --output DIR  put the attachments into DIR (required)\n"
    "  --cut             cut the saved attachments out of the stored messages\n"
    "  --rescue          find every mailbox's messages by scanning the whole file,\n"
    "                    and save the attachments of chains of blocks that the\n"
    "                    index does not name too (deleted messages, leftovers of\n"
    "                    earlier cuts); only reads, so not with --cut\n"
    "  --backup DIR      copy each .dbx mailbox to DIR before anything is read\n"
    "  --report FILE     write FILE, a list (CSV) of every attachment found: its\n"
    "                    file below DIR, size, SHA-256, name, mailbox, message,\n"
    "                    date, sender, subject and, with --cut, whether it was cut\n"
    "  --by-mailbox      put each mailbox's attachments into a folder of DIR named\n"
    "                    after it (with --eml: each message folder's path)\n"
    "  --eml             treat folders as trees of .eml message files\n"
    "  --skip-inline-images\n"
    "                    skip the pictures shown in the message text\n"
    "  --only EXT[,EXT...]\n"
    "                    take only files of these types (pdf,docx)\n"
    "  --min-size SIZE   skip files smaller than SIZE bytes (with K or M: kilobytes,\n"
    "                    megabytes); what is skipped is neither saved nor cut\n"
    "  --note            with --cut, leave a note in each message where its\n"
    "                    attachment went\n"
    "  -y, --yes         answer questions without asking: create a missing DIR,\n"
    "                    cut without backups; an old backup is never replaced:\n"
    "                    the new one takes a free name beside it (Inbox_1.dbx)\n"
    "  --list            print the mailboxes (or message folders) of FOLDER and exit;\n"
    "                    without FOLDER, every mail store of this user (Windows:\n"
    "                    Outlook Express, Windows Mail, Windows Live Mail)\n"
    "  -q, --quiet       print only errors\n"
    "  -h, --help        print this help and exit\n"
    "  --version         print the version and exit\n"
    "\n"
    "Ctrl-C, Ctrl-Break, SIGTERM, a hang-up or closing the console window stops after\n"
    "the message in progress.\n"
    "A mailbox whose index is damaged is rescued that way without --rescue too,\n"
    "with a note; with --cut it is left as it is and named.\n"
    "Every mailbox or message that could not be read, message not written back and\n"
    "attachment not saved is named on standard error, even with --quiet. An attachment\n"
    "that was saved but not understood completely is left in its message.\n"
    "Exit status: 0 all extracted; 1 some attachment not saved, some message not read\n"
    "whole or not written back, or some mailbox damaged; 2 usage error; 3 halted or\n"
    "cancelled.\n";

// An 8-bit String holding its own copy of the text.
String ownText(const std::string& text) {
    return String(Block(text.c_str()));
}

std::string narrow(const Block& text) {
    String n;
    n.toNarrow(text);
    return n.length() ? std::string(n.c_str(), size_t(n.length())) : std::string();
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// The job refuses a relative backup folder, and a store folder must not change meaning
// with the current directory: both are made absolute the way the engine judges paths.
std::string absolutePath(const std::string& given) {
    Path path;
    if (!path.assign(ownText(given)))
        return given;
    const bool windows = TOVK_Utils::hostPathRules.driveAndNetworkRoots;
    switch (path.rootKind()) {
    case Path::RootDrive:
    case Path::RootNetwork:
        return narrow(path);
    case Path::RootSeparator:
        if (!windows)
            return narrow(path);
        break;
    default:
        break;
    }
    const std::string current = ConsoleSystem::currentDirectory();
    if (current.empty())
        return narrow(path);
    Path joined;
    if (windows && path.rootKind() == Path::RootSeparator)
        joined.join(ownText(current.substr(0, 2)), path); // the current drive
    else
        joined.join(ownText(current), path);
    return narrow(joined);
}

bool endsWithDbx(const std::string& name) {
    if (name.size() < 4)
        return false;
    std::string end = name.substr(name.size() - 4);
    for (char& c : end)
        c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return end == ".dbx";
}

// One job: the mailboxes of one store folder, or the message folders of every tree.
struct JobPlan {
    bool eml = false;
    std::string store;
    RowList rows;

    void addRow(const Block& name) {
        for (const auto& row : rows.rows)
            if (row.name.equals(name))
                return; // a mailbox given twice is extracted once
        rows.appendItem(name, 0);
    }
};

std::string megabytes(int64_t bytes) {
    char text[48];
    std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1048576.0);
    return text;
}

// The rows of one store folder, mailboxes with their sizes in a column.
void printStore(const std::string& folder, bool eml, const char* indent) {
    RowList list;
    if (eml)
        listEmlFolders(ownText(folder), list);
    else
        listDbxMailboxes(ownText(folder), list);
    size_t width = 0;
    for (const auto& row : list.rows)
        width = std::max(width, narrow(row.name).size());
    for (const auto& row : list.rows) {
        std::string line = narrow(row.name);
        if (!eml)
            line += std::string(width - line.size() + 2, ' ') + narrow(row.size);
        std::printf("%s%s\n", indent, line.c_str());
    }
}

// Every store the desktop program would find, each under a line naming its client.
int listLocalStores() {
    MailStores stores;
    if (!findLocalStores(stores)) {
        std::printf("There is no mail store to find on Linux: Outlook Express, Windows Mail "
                    "and Windows Live Mail name theirs in the Windows registry. Give the "
                    "folder: klovin-extract --list [--eml] FOLDER\n");
        return Extracted;
    }
    if (stores.empty()) {
        std::printf("No mail store was found. Give the folder: klovin-extract --list [--eml] "
                    "FOLDER\n");
        return Extracted;
    }
    for (const MailStore& store : stores.stores) {
        std::printf("%s store: %s\n", mailClientName(store.client), store.root.c_str());
        printStore(store.root, keepsEmlFolders(store.client), "  ");
    }
    return Extracted;
}

int listStore(const CommandLine& options) {
    if (options.sources.empty())
        return listLocalStores();
    const std::string folder = options.sources[0];
    if (!TOVK_Utils::isDirectory(ownText(folder))) {
        std::fprintf(stderr, "klovin-extract: %s is not a folder\n", folder.c_str());
        return UsageError;
    }
    printStore(folder, options.eml, "");
    return Extracted;
}

// What a job reads: .dbx mailboxes in one folder, or the .eml folders of one tree.
enum class StoreKind { Mailboxes, MessageFolders };

// Turns the sources into jobs, in the order their folders first appear. False, with a
// message, for a source that is neither a mailbox file nor a folder.
bool planJobs(const CommandLine& options, std::vector<std::unique_ptr<JobPlan>>& jobs, bool quiet) {
    auto jobFor = [&](StoreKind kind, const std::string& store) -> JobPlan& {
        const bool eml = kind == StoreKind::MessageFolders;
        for (auto& job : jobs)
            if (job->eml == eml && (eml || job->store == store))
                return *job;
        jobs.push_back(std::make_unique<JobPlan>());
        jobs.back()->eml = eml;
        jobs.back()->store = store;
        return *jobs.back();
    };
    for (const std::string& source : options.sources) {
        const String text = ownText(source);
        if (TOVK_Utils::isDirectory(text)) {
            RowList found;
            const std::string folder = absolutePath(source);
            if (options.eml)
                listEmlFolders(ownText(folder), found);
            else
                listDbxMailboxes(ownText(folder), found);
            if (found.rows.empty()) {
                if (!quiet)
                    std::fprintf(stderr, "klovin-extract: no %s in %s\n",
                                 options.eml ? "folder with .eml files" : ".dbx mailbox",
                                 source.c_str());
                continue;
            }
            JobPlan& job =
                jobFor(options.eml ? StoreKind::MessageFolders : StoreKind::Mailboxes, folder);
            for (const auto& row : found.rows)
                job.addRow(row.name);
            continue;
        }
        if (!TOVK_Utils::exists(text)) {
            std::fprintf(stderr, "klovin-extract: %s: no such file or folder\n", source.c_str());
            return false;
        }
        if (!endsWithDbx(source)) {
            std::fprintf(stderr, "klovin-extract: %s is neither a .dbx mailbox nor a folder\n",
                         source.c_str());
            return false;
        }
        const std::string full = absolutePath(source);
        size_t cut = full.size();
        while (cut > 0 && !isSeparator(full[cut - 1]))
            --cut;
        std::string folder = full.substr(0, cut);
        while (folder.size() > 1 && isSeparator(folder.back()) && folder[folder.size() - 2] != ':')
            folder.pop_back();
        const std::string name = full.substr(cut, full.size() - cut - 4);
        jobFor(StoreKind::Mailboxes, folder).addRow(ownText(name));
    }
    return true;
}

// Attachments saved into a tree of message folders are read as mail on the next run (and
// a saved .eml attachment cut): the whole tree is refused, not only the folders that hold
// messages today. True, after saying so, when the output lies inside a source.
bool outputInsideMessageFolders(const CommandLine& options) {
    if (!options.eml)
        return false;
    const String output = ownText(absolutePath(options.output));
    for (const std::string& source : options.sources) {
        if (TOVK_Utils::isSameOrInside(output, TOVK_Utils::fileIdentity(ownText(source)))) {
            std::fprintf(stderr,
                         "klovin-extract: the destination folder %s lies inside the message "
                         "folders being read (%s); choose another destination folder\n",
                         options.output.c_str(), source.c_str());
            return true;
        }
    }
    return false;
}

ConsoleView::Behaviour behaviourFor(const CommandLine& options) {
    ConsoleView::Behaviour behaviour;
    behaviour.yes = options.yes;
    behaviour.askTerminal = ConsoleSystem::isTerminal(0);
    behaviour.statusLine = ConsoleSystem::isTerminal(2);
    behaviour.quiet = options.quiet;
    behaviour.rescueAll = options.rescue;
    return behaviour;
}

// The options window's caution, before anything is touched: false when the user did not
// choose to go on.
bool cautionAccepted(const CommandLine& options, const std::vector<std::unique_ptr<JobPlan>>& jobs,
                     ConsoleView& view, const ConsoleView::Behaviour& behaviour) {
    bool anyMailbox = false;
    for (const auto& job : jobs)
        anyMailbox = anyMailbox || !job->eml;
    if (!options.cut || !options.backup.empty() || !anyMailbox || options.yes)
        return true;
    const String caution(cutWithoutBackupsCaution);
    const QuestionText question{"Warning", &caution, "Continue without backups",
                                "Cancel extraction"};
    if (behaviour.askTerminal)
        return view.askOnTerminal(question) == 1;
    view.ask(ViewOwner::TopLevel, question); // prints it, answers the cancelling choice
    return false;
}

// Runs the jobs one after the other, the counts of each added to totals; the exit status.
int runJobs(std::vector<std::unique_ptr<JobPlan>>& jobs, ConsoleView& view, ExtractThread& thread,
            JobCounts& totals) {
    int status = Extracted;
    thread.beginRun(); // the jobs of one command are one run: one backup per mailbox
    for (auto& plan : jobs) {
        view.setJob(&thread, &plan->rows, ownText(plan->store), plan->eml);
        if (!view.runJob()) {
            view.printErr("klovin-extract: the extraction thread could not be started");
            return Halted;
        }
        const JobCounts& done = thread.counts();
        totals += done;
        if (done.halted || view.stoppedByUser())
            return Halted;
        // Carving a damaged mailbox cannot promise every message: that is never "all".
        if (done.saveFailures || done.unreadableMessages || done.writeFailures || done.recovered ||
            done.brokenOff || done.damagedLeft)
            status = Incomplete;
    }
    return status;
}

std::string summaryOf(const CommandLine& options, const JobCounts& totals,
                      const std::vector<Backups::Made>& backups, int status) {
    std::string summary;
    summary += "Mailboxes: " + std::to_string(totals.mailboxes) + "\n";
    summary += "Emails: " + std::to_string(totals.emails) + "\n";
    summary += "Attachments: " + std::to_string(totals.attachments) + "\n";
    summary += "- Encoded: " + megabytes(totals.encodedBytes) + "\n";
    summary += "- Decoded: " + megabytes(totals.decodedBytes) + "\n";
    if (options.skipInlineImages || !options.onlyTypes.empty() || options.minSize > 0)
        summary += "Attachments skipped: " + std::to_string(totals.skipped) + "\n";
    if (options.cut)
        summary +=
            "Attachments kept in the message: " + std::to_string(totals.keptInMessage) + "\n";
    if (options.note)
        summary += "Attachments cut with a note: " + std::to_string(totals.cutWithNote) + "\n";
    summary += "Attachments that could not be saved: " + std::to_string(totals.saveFailures) + "\n";
    summary +=
        "Messages that could not be read: " + std::to_string(totals.unreadableMessages) + "\n";
    summary += "Messages that could not be written back: " + std::to_string(totals.writeFailures);
    if (totals.recovered || totals.brokenOff || totals.notInIndex || options.rescue) {
        summary += "\nMessages recovered by carving: " + std::to_string(totals.recovered);
        if (options.rescue)
            summary += "\nMessages not in the index: " + std::to_string(totals.notInIndex);
        summary += "\nMessages whose chain broke off: " + std::to_string(totals.brokenOff);
    }
    if (totals.damagedLeft)
        summary += "\nDamaged mailboxes left as they are: " + std::to_string(totals.damagedLeft);
    for (const auto& made : backups)
        summary += "\nBackup of " + narrow(made.mailbox) + ": " + narrow(made.backup);
    if (status == Halted)
        summary += "\nThe extraction did not finish.";
    if (!options.report.empty())
        summary += "\nList of the attachments: " + absolutePath(options.report);
    return summary;
}

// The jobs of one run add their rows to one list: it is begun empty here, replacing an
// earlier one, as a program's output file is.
bool startList(const String& path) {
    TOVK_Utils::File file;
    if (file.openForWriting(path, TOVK_Utils::IfExists::Replace) && file.close() == 1)
        return true;
    std::fprintf(stderr, "klovin-extract: cannot write the list %s\n", narrow(path).c_str());
    return false;
}

int extract(const CommandLine& options) {
    std::vector<std::unique_ptr<JobPlan>> jobs;
    if (!planJobs(options, jobs, options.quiet) || outputInsideMessageFolders(options))
        return UsageError;
    ConsoleSystem::installStopHandlers();
    const ConsoleView::Behaviour behaviour = behaviourFor(options);
    ConsoleView view(behaviour);
    if (!cautionAccepted(options, jobs, view, behaviour))
        return Halted;
    const String output = ownText(options.output);
    const String backup = ownText(options.backup.empty() ? "" : absolutePath(options.backup));
    view.setFolders(output, backup, !options.backup.empty(), options.cut);
    ExtractChoices choices;
    choices.skipInlineImages = options.skipInlineImages;
    choices.onlyTypes = options.onlyTypes;
    choices.minSize = options.minSize;
    choices.leaveNote = options.note;
    choices.folderPerMailbox = options.byMailbox;
    if (!options.report.empty()) {
        choices.writeList = true;
        choices.listFile = ownText(absolutePath(options.report));
        if (!startList(choices.listFile))
            return UsageError;
    }
    view.setChoices(choices);
    JobCounts totals;
    ExtractThread thread;
    const int status = runJobs(jobs, view, thread, totals);
    if (!options.quiet)
        view.printOut(summaryOf(options, totals, thread.backupsMade(), status));
    return status;
}

} // namespace

int main(int argc, char** argv) {
    CommandLine options;
    std::string error;
    if (!options.parse(argc, argv, error)) {
        std::fprintf(stderr, "klovin-extract: %s\nTry 'klovin-extract --help'.\n", error.c_str());
        return UsageError;
    }
    switch (options.action) {
    case CommandLine::Action::Help:
        std::fputs(usageText, stdout);
        return Extracted;
    case CommandLine::Action::Version:
        std::printf("klovin-extract (%s) %s\n", KLOVIN_DISPLAY_NAME, KLOVIN_VERSION);
        return Extracted;
    case CommandLine::Action::List:
        return listStore(options);
    case CommandLine::Action::Extract:
        break;
    }
    return extract(options);
}
