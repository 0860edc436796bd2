#include "engine/Backups.h"

#include "engine/JobPaths.h"
#include "formats/DbxJournal.h"
#include "utils/File.h"

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

// An empty or relative backup folder would put the copies in the current directory, and
// a missing one would fail only after some were made: it is checked before the first copy.
bool Backups::usableFolder(EngineView& view, Path& folder) {
    String text;
    workPath(text, view.backupFolder());
    if (text.length() == 0 || !folder.assign(text) || !isAbsolute(folder))
        return false;
    folder.createDirectories(Path::LastComponent::Folder);
    return TOVK_Utils::isDirectory(folder);
}

bool Backups::backUpAll(EngineView& view, JobReport& report, Recoveries& recoveries) {
    Path folder;
    const bool usable = usableFolder(view, folder);
    String store;
    workPath(store, view.outlookExpressStoreRoot());
    // A backup inside the store would be no backup at all once the store is lost, and one
    // in the store folder itself takes a mailbox's own name.
    if (usable && TOVK_Utils::isSameOrInside(folder, TOVK_Utils::fileIdentity(store))) {
        String message;
        TOVK_Utils::format(message,
                           "The backup folder %s is the mailbox folder %s or lies inside it. "
                           "Choose another backup folder. Aborting extraction.",
                           folder, store);
        report.problem(message);
        report.showError(ViewOwner::TopLevel, message);
        return false;
    }
    overwriteConfirmed_ = false;
    MailboxList& list = view.mailboxList();
    String name;
    for (int row = list.nextChecked(-1); row != -1; row = list.nextChecked(row)) {
        list.itemText(name, row, 0, TOVK_Utils::widePathsPreferred());
        if (!usable) {
            Path target;
            mailboxPath(target, view.backupFolder(), name);
            return failed(report, name, target);
        }
        if (!backUp(view, report, recoveries, name))
            return false;
    }
    return true;
}

bool Backups::backUp(EngineView& view, JobReport& report, Recoveries& recoveries,
                     const Block& name) {
    Path source, target;
    mailboxPath(source, view.outlookExpressStoreRoot(), name);
    TOVK_Utils::followLinks(source); // recovered where the pass will look: beside the file
    if (recoveries.recover(source, report) != Recoveries::Verdict::Usable)
        return true; // said why; the job goes on, and this mailbox is not cut
    const TOVK_Utils::FileIdentity identity = TOVK_Utils::fileIdentity(source);
    // The same mailbox named twice in one run (through a folder and a link, say) keeps
    // its first backup: a second one could hold it already cut.
    for (const Made& made : made_)
        if (identity.valid && made.identity == identity)
            return true;
    mailboxPath(target, view.backupFolder(), name);
    chooseName(view, identity, target);
    String status;
    TOVK_Utils::format(status, "Backing up %s.dbx to %s", name, target);
    view.setStatusText(status);
    if (!mayReplace(view, target))
        return false;
    // Copied under the mailbox's lock, so that no run of this program writes it meanwhile,
    // and only with no journal beside it: a backup never holds a half-written message. A
    // mailbox the user made read-only is never cut, and is copied as it is.
    TOVK_Utils::File locked;
    const bool lockable = TOVK_Utils::isReadOnly(source) ||
                          (locked.openForReading(source, TOVK_Utils::File::Access::ReadOnly,
                                                 TOVK_Utils::File::ShareRead) &&
                           locked.lock());
    if (!lockable || TOVK_Internet::DbxJournal::exists(source))
        return failed(report, name, target);
    // A failed copy must not take the older backup with it: the copy is made beside it,
    // and flushed before it takes the old one's name, so that a crash or a failed flush
    // never leaves a backup that is neither the old one nor the whole new one.
    const bool copied = TOVK_Utils::replaceBeside(
        target,
        [&](const Path& temporary) {
            if (TOVK_Utils::copyFile(source, temporary, TOVK_Utils::IfExists::Fail) &&
                TOVK_Utils::flushFile(temporary))
                return true;
            TOVK_Utils::removeFile(temporary);
            return false;
        },
        TOVK_Utils::Replaced::WholeFile);
    // The backup reaches the disk, its name in the folder too, before anything is cut.
    String backupFolder;
    workPath(backupFolder, view.backupFolder());
    if (!copied || !TOVK_Utils::flushDirectory(backupFolder))
        return failed(report, name, target);
    made_.push_back({String(source), String(target), identity});
    return true;
}

void Backups::chooseName(EngineView& view, const TOVK_Utils::FileIdentity& mailbox,
                         Path& target) const {
    String extension, number;
    target.extension(extension);
    Path stem;
    stem.assign(target);
    stem.removeExtension();
    for (int32_t n = 1;; ++n) {
        bool free = true;
        for (const Made& made : made_)
            free = free && !made.backup.equalsNoCase(target);
        if (free && TOVK_Utils::exists(target)) {
            const TOVK_Utils::FileIdentity there = TOVK_Utils::fileIdentity(target);
            free =
                !(there.valid && there == mailbox) && view.oldBackups() == OldBackups::AskToReplace;
        }
        if (free)
            return;
        number.printFormatted("_%d.", n);
        target.assign(stem);
        target.append(number, Path::Separator::None);
        target.append(extension, Path::Separator::None);
    }
}

// Asked at most once a job, at the first mailbox whose backup exists already.
bool Backups::mayReplace(EngineView& view, const Path& target) {
    if (!TOVK_Utils::exists(target) || overwriteConfirmed_)
        return true;
    const String question(
        "Backups of your mailboxes already exist in the location that you specified to "
        "make backups to. Do you want to overwrite the backups and continue extraction? Or "
        "do you want to pick another location to backup to?");
    const int answer = view.ask(ViewOwner::ProgressWindow,
                                QuestionText{"Information", &question, "Overwrite old backups",
                                             "Cancel and choose another backup location"});
    if (answer != 1)
        return false;
    overwriteConfirmed_ = true;
    return true;
}

bool Backups::failed(JobReport& report, const Block& name, const Path& target) {
    String message;
    TOVK_Utils::format(message, "Backup of mailbox %s.dbx to %s failed. Aborting extraction.", name,
                       target);
    report.problem(message);
    report.showError(ViewOwner::TopLevel, message);
    return false;
}
