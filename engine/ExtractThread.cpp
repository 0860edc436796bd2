#include "engine/ExtractThread.h"

#include "engine/AttachmentList.h"
#include "engine/AttachmentWriter.h"
#include "engine/DestinationFolder.h"
#include "engine/JobPaths.h"
#include "engine/MessageExtractor.h"
#include "engine/MessageFolderPass.h"

#include "utils/Fatal.h"
#include "utils/FileSystem.h"
#include "utils/String.h"

using TOVK_Utils::String;

EngineView& ExtractThread::view() {
    if (!view_)
        TOVK_Utils::fatalError("Null pointer");
    return *view_;
}

void ExtractThread::run() {
    EngineView& v = view();
    counts_ = JobCounts();
    control_.begin();
    v.setStatusText(String("Initialising."));
    JobReport report(v, counts_);
    if (course(report) == Ending::Closed) {
        v.postClose();
        return;
    }
    v.enablePauseButton(false);
    v.setProgress(counts_.totalMessages);
    v.jobFinished(counts_);
}

ExtractThread::Ending ExtractThread::course(JobReport& report) {
    EngineView& v = report.view();
    String destination;
    workPath(destination, v.extractFolder());
    if (destinationIsBeingRead(v, report, destination)) {
        counts_.halted = true;
        return Ending::FinalState;
    }
    Recoveries recoveries;
    if (v.createBackups() && !v.listShowsEmlFolders() &&
        !backups_.backUpAll(v, report, recoveries)) {
        counts_.halted = true;
        return Ending::Closed;
    }
    if (!prepareDestination(v, report)) {
        counts_.halted = true;
        return Ending::FinalState;
    }
    AttachmentWriter writer(v);
    AttachmentList list;
    const bool listed = v.choices().writeList && openList(report, list);
    MessageExtractor extractor(v, report, writer, listed ? &list : nullptr);
    PassContext context{v, report, control_, buffers_, extractor, writer, recoveries};
    CutBatch batch(v, report);
    MailboxPass::Decisions decisions;
    if (countMessages(context, batch, decisions)) {
        v.setProgressRange(0, counts_.totalMessages);
        extract(context, batch, decisions);
    }
    if (listed) {
        extractor.writeWaitingRow();
        finishList(report, list);
    }
    return Ending::FinalState;
}

// A list that cannot be made is said, and the job goes on without it: the attachments
// matter more than their list.
bool ExtractThread::openList(JobReport& report, AttachmentList& list) {
    EngineView& v = report.view();
    const ExtractChoices& choices = v.choices();
    TOVK_Utils::Path path;
    auto start = AttachmentList::Start::Continue;
    if (choices.listFile.length() > 0) {
        String file;
        workPath(file, choices.listFile);
        path.assign(file);
    } else {
        String destination;
        workPath(destination, v.extractFolder());
        path.join(destination, String("attachments.csv"));
        start = AttachmentList::Start::FreeName;
    }
    if (list.open(path, start))
        return true;
    String text;
    text.setWide(list.path().isWide());
    TOVK_Utils::format(text, "The list of the saved attachments could not be written to %s.",
                       list.path());
    report.problem(text);
    report.showError(ViewOwner::ProgressWindow, text);
    return false;
}

// The job's last status line says where the list is.
void ExtractThread::finishList(JobReport& report, AttachmentList& list) {
    String text;
    text.setWide(list.path().isWide());
    if (list.finish()) {
        TOVK_Utils::format(text, "The list of the saved attachments is %s", list.path());
    } else {
        TOVK_Utils::format(text, "The list of the saved attachments %s could not be written whole.",
                           list.path());
        report.problem(text);
    }
    report.view().setStatusText(text);
}

// Every mailbox is opened and scanned before any is extracted: one that is damaged
// halts the job before anything was taken.
bool ExtractThread::countMessages(PassContext& context, CutBatch& batch,
                                  MailboxPass::Decisions& decisions) {
    EngineView& v = context.view;
    const bool emlFolders = v.listShowsEmlFolders();
    MailboxList& list = v.mailboxList();
    String entry;
    for (int row = list.nextChecked(-1); row != -1; row = list.nextChecked(row)) {
        list.itemText(entry, row, 0, TOVK_Utils::widePathsPreferred());
        if (emlFolders) {
            counts_.totalMessages += MessageFolderPass::countFiles(entry);
        } else {
            const MailboxPass::Counted counted =
                MailboxPass(context, batch, decisions, entry).count();
            if (counted.opened == MailboxPass::Opened::Halt) {
                counts_.halted = true;
                return false;
            }
            counts_.totalMessages += counted.messages;
        }
        control_.poll();
        if (control_.stopRequested())
            return false;
    }
    return true;
}

void ExtractThread::extract(PassContext& context, CutBatch& batch,
                            MailboxPass::Decisions& decisions) {
    EngineView& v = context.view;
    const bool emlFolders = v.listShowsEmlFolders();
    MailboxList& list = v.mailboxList();
    const std::vector<String> folders = ownFolders(list, v.choices(), emlFolders);
    String entry;
    size_t index = 0;
    for (int row = list.nextChecked(-1); row != -1; row = list.nextChecked(row), ++index) {
        list.itemText(entry, row, 0, TOVK_Utils::widePathsPreferred());
        if (index < folders.size())
            context.writer.enterFolder(folders[index]);
        if (emlFolders)
            MessageFolderPass(context, entry).run();
        else
            MailboxPass(context, batch, decisions, entry).run();
        if (control_.stopRequested())
            break;
    }
    if (emlFolders || !v.cutAttachments())
        return;
    batch.finish();
    if (!control_.stopRequested())
        adviseCompacting(v);
}

std::vector<String> ExtractThread::ownFolders(MailboxList& list, const ExtractChoices& choices,
                                              bool emlFolders) {
    if (!choices.folderPerMailbox)
        return {};
    std::vector<String> rows;
    for (int row = list.nextChecked(-1); row != -1; row = list.nextChecked(row)) {
        rows.emplace_back();
        list.itemText(rows.back(), row, 0, TOVK_Utils::widePathsPreferred());
    }
    return mailboxFolders(rows, emlFolders);
}

void ExtractThread::adviseCompacting(EngineView& v) {
    const String info("The attachments have been cut from your emails, so you may now load Outlook "
                      "Express, select the mailboxes you just extracted from, and choose "
                      "File->Folder->Compact from the menu. This will rebuild the mailbox and "
                      "save the space left over from the cut attachments.");
    QuestionText text{"Information", &info, "Ok"};
    text.sizeCode = 2;
    v.ask(ViewOwner::ProgressWindow, text);
}
