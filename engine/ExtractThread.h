// ExtractThread: the extraction job. Its body runs on the worker thread: it checks the
// destination folder, makes the backups, counts the messages of the ticked rows, runs the
// mailbox pass or the message-folder pass over each of them, and tells the view that the
// job is over (the user's "Done" is the view's business). It reaches everything outside
// itself through the EngineView. One object runs one job after the other.
#pragma once

#include "engine/AttachmentList.h"
#include "engine/Backups.h"
#include "engine/CommandQueue.h"
#include "engine/CutBatch.h"
#include "engine/EngineView.h"
#include "engine/JobControl.h"
#include "engine/JobCounts.h"
#include "engine/JobReport.h"
#include "engine/MailboxPass.h"
#include "engine/MessageBuffers.h"
#include "engine/PassContext.h"
#include "utils/Thread2.h"

#include <vector>

class ExtractThread : public TOVK_Utils::Thread2 {
public:
    explicit ExtractThread(EngineView* view = nullptr) : view_(view) {}
    void setView(EngineView* view) { view_ = view; }

    void run() override;

    // A new run: forgets the backups of the run before. Jobs of one run (klovin-extract's
    // store folders) never give two mailboxes one backup name, and back a mailbox up once.
    void beginRun() { backups_.beginRun(); }
    const std::vector<Backups::Made>& backupsMade() const { return backups_.backupsMade(); }
    // What the last job did (the job being run, while it runs).
    const JobCounts& counts() const { return counts_; }
    // The progress window's pause and stop commands.
    CommandQueue& commandQueue() { return control_.queue(); }
    bool paused() const { return control_.paused(); }
    bool stopRequested() const { return control_.stopRequested(); }

private:
    enum class Ending {
        FinalState, // the view shows the job's end and waits for the user
        Closed,     // a backup was refused or failed: the progress window just closes
    };

    EngineView& view();
    Ending course(JobReport& report);
    bool countMessages(PassContext& context, CutBatch& batch, MailboxPass::Decisions& decisions);
    void extract(PassContext& context, CutBatch& batch, MailboxPass::Decisions& decisions);
    void adviseCompacting(EngineView& view);
    bool openList(JobReport& report, AttachmentList& list);
    void finishList(JobReport& report, AttachmentList& list);
    // The folder below the destination of each ticked row; none when they all share it.
    static std::vector<TOVK_Utils::String>
    ownFolders(MailboxList& list, const ExtractChoices& choices, bool emlFolders);

    EngineView* view_;
    JobControl control_;
    JobCounts counts_;
    Backups backups_;
    MessageBuffers buffers_;
};
