// The job's course: preparation, backups, counting, the passes and the final state, and
// the job control that the progress window drives.
#include "engine/ExtractThread.h"

#include "formats/DbxCommit.h"

#include "utils/Fatal.h"
#include "utils/FileSystem.h"

using TOVK_Utils::Block;
using TOVK_Utils::Path;
using TOVK_Utils::String;

namespace {

bool isAbsolute(const Path& path) {
    switch (path.rootKind()) {
    case Path::RootDrive:
    case Path::RootNetwork:
        return true;
    case Path::RootSeparator:
        return !TOVK_Utils::hostPathRules.driveAndNetworkRoots;
    default:
        return false;
    }
}

} // namespace

ExtractThread::ExtractThread(EngineView* view) : view_(view) {
    message_.allocateNarrow(messageBufferReserve);
    rewrite_.allocateNarrow(messageBufferReserve);
    message_.setPolicy(true, false);
    rewrite_.setPolicy(true, false);
    // Growing never gives memory back: the next attachment is likely as large.
    decoded_.setPolicy(true, false);
    existing_.setPolicy(true, false);
}

EngineView& ExtractThread::view() {
    if (!view_)
        TOVK_Utils::fatalError("Null pointer");
    return *view_;
}

void ExtractThread::workPath(String& out, const Block& text) {
    if (TOVK_Utils::widePathsPreferred())
        out.toWide(text);
    else
        out.toNarrow(text);
}

void ExtractThread::mailboxPath(Path& path, const String& folder, const Block& name) {
    String folderText;
    workPath(folderText, folder);
    path.join(folderText, name);
    path.append(String(".dbx"), false);
}

void ExtractThread::showError(ViewOwner owner, const char* title, const Block& message) {
    view().ask(owner, QuestionText{title, &message, "Ok"});
}

void ExtractThread::run() {
    EngineView& v = view();
    emailCount = 0;
    attachmentCount = 0;
    encodedBytes = 0;
    decodedBytes = 0;
    mailboxCount = 0;
    keptInMessage = 0;
    saveFailures = 0;
    unreadableMessages = 0;
    writeFailures = 0;
    recoveredMessages = 0;
    notInIndexMessages = 0;
    brokenChains = 0;
    damagedLeft = 0;
    decisions_.clear();
    halted = false;
    showSaveErrors = true;
    paused = false;
    stopRequested = false;
    commandQueue.clear();
    v.setStatusText(String("Initialising."));

    String destination;
    workPath(destination, v.extractFolder());
    if (destinationIsBeingRead(destination)) {
        halted = true;
        finalState();
        return;
    }

    if (v.createBackups() && !v.listShowsEmlFolders() && !prepareBackups()) {
        halted = true;
        v.postClose();
        return;
    }
    if (!prepareDestination()) {
        halted = true;
        finalState();
        return;
    }
    totalMessages = 0;
    if (!countMessages()) {
        finalState();
        return;
    }
    position = 0;
    v.setProgressRange(0, totalMessages);

    const bool emlFolders = v.listShowsEmlFolders();
    MailboxList& list = v.mailboxList();
    String entry;
    for (int row = list.nextChecked(-1); row != -1; row = list.nextChecked(row)) {
        list.itemText(entry, row, 0, TOVK_Utils::widePathsPreferred());
        if (emlFolders)
            processEmlFolder(entry);
        else
            processMailbox(entry);
        if (stopRequested)
            break;
    }
    if (!emlFolders && v.cutAttachments()) {
        settleCuts();
        flushJournalRemovals();
    }
    if (!emlFolders && !stopRequested && v.cutAttachments()) {
        const String info(
            "The attachments have been cut from your emails, so you may now load Outlook "
            "Express, select the mailboxes you just extracted from, and choose "
            "File->Folder->Compact from the menu. This will rebuild the mailbox and save the "
            "space left over from the cut attachments.");
        QuestionText text{"Information", &info, "Ok"};
        text.sizeCode = 2;
        v.ask(ViewOwner::ProgressWindow, text);
    }
    finalState();
}

// The last journals removed are made to stay gone (DbxCommit, invariant 5): one that came
// back after a power loss would return finished cuts to their old text.
void ExtractThread::flushJournalRemovals() {
    String store;
    workPath(store, view().outlookExpressStoreRoot());
    if (TOVK_Internet::DbxCommit::flushRemovals(store))
        return;
    String text;
    TOVK_Utils::format(text,
                       "The mailbox folder %s could not be flushed to the disk: after a power "
                       "loss now, the last cuts may be undone when their mailboxes are opened "
                       "again. The attachments stay saved.",
                       false, store);
    report(text);
}

JobCounts ExtractThread::counts() const {
    JobCounts c;
    c.mailboxes = mailboxCount;
    c.emails = emailCount;
    c.attachments = attachmentCount;
    c.keptInMessage = keptInMessage;
    c.saveFailures = saveFailures;
    c.unreadableMessages = unreadableMessages;
    c.writeFailures = writeFailures;
    c.recovered = recoveredMessages;
    c.notInIndex = notInIndexMessages;
    c.brokenOff = brokenChains;
    c.damagedLeft = damagedLeft;
    c.halted = halted;
    return c;
}

void ExtractThread::finalState() {
    EngineView& v = view();
    v.enablePauseButton(false);
    v.jobFinished(counts());
    v.setProgress(totalMessages);
    paused = true;
    pollCommands(); // waits for the press on "Done"
    v.postClose();
}

// An empty or relative backup folder would put the copies in the current directory, and
// a missing one would fail only after some were made: it is checked before the first copy.
bool ExtractThread::prepareBackups() {
    EngineView& v = view();
    String folder;
    workPath(folder, v.backupFolder());
    Path backup;
    bool usable = folder.length() > 0 && backup.assign(folder) && isAbsolute(backup);
    if (usable) {
        backup.createDirectories(false);
        usable = TOVK_Utils::isDirectory(backup);
    }
    String store;
    workPath(store, v.outlookExpressStoreRoot());
    // A backup inside the store would be no backup at all once the store is lost, and one
    // in the store folder itself takes a mailbox's own name.
    if (usable && TOVK_Utils::isSameOrInside(backup, TOVK_Utils::fileIdentity(store))) {
        String message;
        TOVK_Utils::format(message,
                           "The backup folder %s is the mailbox folder %s or lies inside it. "
                           "Choose another backup folder. Aborting extraction.",
                           false, backup, store);
        report(message);
        showError(ViewOwner::TopLevel, "Error", message);
        return false;
    }
    backupOverwriteConfirmed = false;
    MailboxList& list = v.mailboxList();
    String name;
    for (int row = list.nextChecked(-1); row != -1; row = list.nextChecked(row)) {
        list.itemText(name, row, 0, TOVK_Utils::widePathsPreferred());
        if (!usable) {
            Path target;
            mailboxPath(target, v.backupFolder(), name);
            String message;
            TOVK_Utils::format(message,
                               "Backup of mailbox %s.dbx to %s failed. Aborting extraction.", false,
                               name, target);
            report(message);
            showError(ViewOwner::TopLevel, "Error", message);
            return false;
        }
        if (!backupMailbox(name))
            return false;
    }
    return true;
}

bool ExtractThread::backupMailbox(const Block& name) {
    EngineView& v = view();
    Path source, target;
    mailboxPath(source, v.outlookExpressStoreRoot(), name);
    if (!recoverMailbox(source))
        return false;
    const TOVK_Utils::FileIdentity identity = TOVK_Utils::fileIdentity(source);
    // The same mailbox named twice in one run (through a folder and a link, say) keeps
    // its first backup: a second one could hold it already cut.
    for (const BackupMade& made : backupsMade)
        if (identity.valid && made.identity == identity)
            return true;
    mailboxPath(target, v.backupFolder(), name);
    String extension, number;
    target.extension(extension);
    Path stem;
    stem.assign(target);
    stem.removeExtension();
    // The first name that no other mailbox of this run has taken, that is not the
    // mailbox itself, and (unless the user lets old backups be replaced) not taken at all.
    for (int32_t n = 1;; ++n) {
        bool free = true;
        for (const BackupMade& made : backupsMade)
            free = free && !made.backup.equalsNoCase(target);
        if (free && TOVK_Utils::exists(target)) {
            const TOVK_Utils::FileIdentity there = TOVK_Utils::fileIdentity(target);
            free =
                !(there.valid && there == identity) && v.oldBackups() == OldBackups::AskToReplace;
        }
        if (free)
            break;
        number.printFormatted("_%d.", n);
        target.assign(stem);
        target.append(number, false);
        target.append(extension, false);
    }
    String status;
    TOVK_Utils::format(status, "Backing up %s.dbx to %s", false, name, target);
    v.setStatusText(status);
    if (TOVK_Utils::exists(target) && !backupOverwriteConfirmed) {
        const String question(
            "Backups of your mailboxes already exist in the location that you specified to "
            "make backups to. Do you want to overwrite the backups and continue extraction? Or "
            "do you want to pick another location to backup to?");
        const int answer = v.ask(ViewOwner::ProgressWindow,
                                 QuestionText{"Information", &question, "Overwrite old backups",
                                              "Cancel and choose another backup location"});
        if (answer != 1)
            return false;
        backupOverwriteConfirmed = true;
    }
    // A failed copy must not take the older backup with it: the copy is made beside it.
    const bool copied = TOVK_Utils::replaceBeside(
        target,
        [&](const Path& temporary) { return TOVK_Utils::copyFile(source, temporary, true); },
        TOVK_Utils::Replaced::WholeFile);
    // The backup reaches the disk, its name in the folder too, before anything is cut.
    String backupFolder;
    workPath(backupFolder, v.backupFolder());
    if (!copied || !TOVK_Utils::flushFile(target) || !TOVK_Utils::flushDirectory(backupFolder)) {
        String message;
        TOVK_Utils::format(message, "Backup of mailbox %s.dbx to %s failed. Aborting extraction.",
                           false, name, target);
        report(message);
        showError(ViewOwner::TopLevel, "Error", message);
        return false;
    }
    backupsMade.push_back({String(source), String(target), identity});
    return true;
}

// Saved attachments that land in a tree being read are read as mail on the next run (a
// saved .eml or .dbx attachment then gets cut), and skipping them instead would hide
// real mail when the destination is a message folder: the job is refused.
bool ExtractThread::destinationIsBeingRead(const String& destination) {
    EngineView& v = view();
    String folder, message;
    if (!v.listShowsEmlFolders()) {
        workPath(folder, v.outlookExpressStoreRoot());
        if (folder.length() == 0 ||
            !(TOVK_Utils::fileIdentity(destination) == TOVK_Utils::fileIdentity(folder)))
            return false;
        TOVK_Utils::format(message,
                           "The destination folder %s is the mailbox folder being read. "
                           "Choose another destination folder.",
                           false, destination);
    } else {
        MailboxList& list = v.mailboxList();
        bool inside = false;
        for (int row = list.nextChecked(-1); row != -1 && !inside; row = list.nextChecked(row)) {
            list.itemText(folder, row, 0, TOVK_Utils::widePathsPreferred());
            inside = TOVK_Utils::isSameOrInside(destination, TOVK_Utils::fileIdentity(folder));
        }
        if (!inside)
            return false;
        TOVK_Utils::format(message,
                           "The destination folder %s is the message folder %s or lies inside "
                           "it. Choose another destination folder.",
                           false, destination, folder);
    }
    report(message);
    showError(ViewOwner::ProgressWindow, "Error", message);
    return true;
}

bool ExtractThread::prepareDestination() {
    EngineView& v = view();
    String folder;
    workPath(folder, v.extractFolder());
    if (TOVK_Utils::isDirectory(folder))
        return true;
    String question;
    TOVK_Utils::format(question,
                       "The destination path \"%s\" does not exist. Do you wish to create it?",
                       false, folder);
    if (v.ask(ViewOwner::ProgressWindow,
              QuestionText{"Error", &question, "Yes", "No, cancel extraction"}) != 1)
        return false;
    // A file of that name would pass for a created folder; every save would then fail.
    Path path;
    if (!path.assign(folder) || !path.createDirectories(false) || !TOVK_Utils::isDirectory(path)) {
        showError(ViewOwner::ProgressWindow, "Error", String("Could not create destination path."));
        return false;
    }
    return true;
}

bool ExtractThread::countMessages() {
    EngineView& v = view();
    const bool emlFolders = v.listShowsEmlFolders();
    MailboxList& list = v.mailboxList();
    String entry;
    for (int row = list.nextChecked(-1); row != -1; row = list.nextChecked(row)) {
        list.itemText(entry, row, 0, TOVK_Utils::widePathsPreferred());
        if (emlFolders) {
            totalMessages += countEmlFiles(entry);
        } else {
            TOVK_Internet::DbxMailbox mailbox;
            const Opened opened = openMailbox(entry, mailbox);
            if (opened == Opened::Halt) {
                halted = true;
                return false;
            }
            if (opened == Opened::Ready)
                totalMessages += static_cast<int32_t>(mailbox.messageOffsets.size());
        } // the mailbox closes here, on every path
        pollCommands();
        if (stopRequested)
            return false;
    }
    return true;
}

void ExtractThread::pollCommands() {
    for (;;) {
        int32_t command = 0;
        if (commandQueue.tryTakeCommand(command)) {
            if (command == CommandQueue::togglePause) {
                paused = !paused;
            } else if (command == CommandQueue::stop) {
                stopRequested = true;
                return;
            }
            continue;
        }
        if (!paused)
            return;
        commandQueue.waitForCommand();
    }
}

void ExtractThread::addCount(int32_t& counter, ViewCounter label, int32_t amount) {
    counter += amount;
    auto* text = new String;
    text->printFormatted("%d", counter);
    view().postCounterText(label, text);
}

void ExtractThread::addMegabytes(int64_t& counter, ViewCounter label, int64_t amount) {
    counter += amount;
    auto* text = new String;
    text->printFormatted("%.1f MB", static_cast<double>(counter) / 1048576.0);
    view().postCounterText(label, text);
}
