#include "engine/DestinationFolder.h"

#include "engine/JobPaths.h"

#include "utils/FileSystem.h"
#include "utils/Path.h"

using TOVK_Utils::Path;
using TOVK_Utils::String;

bool destinationIsBeingRead(EngineView& view, JobReport& report, const String& destination) {
    String folder, message;
    if (!view.listShowsEmlFolders()) {
        workPath(folder, view.outlookExpressStoreRoot());
        if (folder.length() == 0 ||
            !(TOVK_Utils::fileIdentity(destination) == TOVK_Utils::fileIdentity(folder)))
            return false;
        TOVK_Utils::format(message,
                           "The destination folder %s is the mailbox folder being read. "
                           "Choose another destination folder.",
                           destination);
    } else {
        MailboxList& list = view.mailboxList();
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
                           destination, folder);
    }
    report.problem(message);
    report.showError(ViewOwner::ProgressWindow, message);
    return true;
}

bool prepareDestination(EngineView& view, JobReport& report) {
    String folder;
    workPath(folder, view.extractFolder());
    if (TOVK_Utils::isDirectory(folder))
        return true;
    String question;
    TOVK_Utils::format(
        question, "The destination path \"%s\" does not exist. Do you wish to create it?", folder);
    if (view.ask(ViewOwner::ProgressWindow,
                 QuestionText{"Error", &question, "Yes", "No, cancel extraction"}) != 1)
        return false;
    // A file of that name would pass for a created folder; every save would then fail.
    Path path;
    if (!path.assign(folder) || !path.createDirectories(Path::LastComponent::Folder) ||
        !TOVK_Utils::isDirectory(path)) {
        report.showError(ViewOwner::ProgressWindow, String("Could not create destination path."));
        return false;
    }
    return true;
}
