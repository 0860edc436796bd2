// The job's course: preparation, backups, counting, the passes and the final state, and
// the job control that the progress window drives.
#include "engine/ExtractThread.h"

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
    saveFailures = 0;
    unreadableMessages = 0;
    writeFailures = 0;
    halted = false;
    showSaveErrors = true;
    paused = false;
    stopRequested = false;
    commandQueue.clear();
    v.setStatusText(String("Initialising."));

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

void ExtractThread::finalState() {
    EngineView& v = view();
    v.enablePauseButton(false);
    v.setStopButtonText(String("Done"));
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
    mailboxPath(target, v.backupFolder(), name);
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
    const bool copied = TOVK_Utils::replaceBeside(target, [&](const Path& temporary) {
        return TOVK_Utils::copyFile(source, temporary, true);
    });
    if (!copied) {
        String message;
        TOVK_Utils::format(message, "Backup of mailbox %s.dbx to %s failed. Aborting extraction.",
                           false, name, target);
        showError(ViewOwner::TopLevel, "Error", message);
        return false;
    }
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
            if (!openMailbox(entry, mailbox)) {
                halted = true;
                return false;
            }
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
