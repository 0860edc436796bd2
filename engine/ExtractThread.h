// ExtractThread: the extraction job. Its body runs on the worker thread: it makes the
// backups, checks the destination folder, counts the messages of the ticked rows, runs
// the mailbox pass or the message-folder pass over each of them, and tells the view that
// the job is over (whose "Done" the user presses is the view's business). It reaches
// everything outside itself through the EngineView.
#pragma once

#include "engine/AttachmentWriter.h"
#include "engine/EngineView.h"
#include "engine/JobControl.h"
#include "engine/JobCounts.h"
#include "engine/JobReport.h"
#include "engine/MessageExtractor.h"
#include "formats/DbxJournal.h"
#include "formats/DbxMailbox.h"
#include "formats/MimePart.h"
#include "utils/FileSystem.h"
#include "utils/Path.h"
#include "utils/StoreVirtual.h"
#include "utils/String.h"
#include "utils/Thread2.h"

#include <cstdint>
#include <memory>
#include <vector>

class ExtractThread : public TOVK_Utils::Thread2 {
public:
    // Cut messages wait, their mailboxes open, until this many messages, bytes of their
    // cut texts (kept twice, with the bytes they replace) or mailboxes wait; then they are
    // settled together (their journals and attachments flushed, the messages written, the
    // mailboxes flushed, the journals cleared), so that a few flushes serve many mailboxes.
    static constexpr int32_t settleAfterMessages = 256;
    static constexpr int64_t settleAfterBytes = 32 << 20;
    static constexpr size_t settleAfterMailboxes = 16;
    // Reserved address space of each message buffer.
    static constexpr int32_t messageBufferReserve = 0x1E00000;

    explicit ExtractThread(EngineView* view = nullptr);
    void setView(EngineView* view) { view_ = view; }

    void run() override;

    enum class Opened {
        Ready,     // scanned, or carved: its messageOffsets are the messages to process
        LeftAlone, // damaged and left as it is (reported); the job goes on
        Halt,      // the user was told why; the job halts
    };
    Opened openMailbox(const TOVK_Utils::Block& name, TOVK_Internet::DbxMailbox& mailbox);
    void processMailbox(const TOVK_Utils::Block& name);
    int32_t countEmlFiles(const TOVK_Utils::Block& folder);
    void processEmlFolder(const TOVK_Utils::Block& folder);
    bool backupMailbox(const TOVK_Utils::Block& name);
    // A new run: forgets the backups of the run before. Jobs of one run (klovin-extract's
    // store folders) never give two mailboxes one backup name, and back a mailbox up once.
    void beginRun() { backupsMade.clear(); }
    // What the last job did (the job being run, while it runs).
    const JobCounts& counts() const { return counts_; }
    // The progress window's pause and stop commands.
    CommandQueue& commandQueue() { return control_.queue(); }
    bool paused() const { return control_.paused(); }
    bool stopRequested() const { return control_.stopRequested(); }

    struct BackupMade {
        TOVK_Utils::String mailbox; // the original's path
        TOVK_Utils::String backup;  // its copy's
        TOVK_Utils::FileIdentity identity;
    };
    std::vector<BackupMade> backupsMade; // in this run, in order

private:
    EngineView& view();
    JobReport jobReport() { return JobReport(view(), counts_); }
    void finalState();
    bool prepareBackups();
    bool prepareDestination();
    bool countMessages();
    bool destinationIsBeingRead(const TOVK_Utils::String& destination);
    void reportNotWrittenBack(const TOVK_Utils::Block& where, const char* why);
    // Puts back what an interrupted run left half-written in the mailbox, before anything
    // else is done with it (a backup copied first would hold the half-written mailbox).
    // False, after saying why, when the mailbox must not be used.
    bool recoverMailbox(const TOVK_Utils::Path& path);
    void flushJournalRemovals();
    void report(const TOVK_Utils::Block& text);
    void showError(ViewOwner owner, const char* title, const TOVK_Utils::Block& message);

    // Carves the mailbox, or takes this job's earlier carve of it. Ready or Halt.
    Opened rescueMailbox(const TOVK_Utils::Path& path, const TOVK_Utils::Block& name,
                         TOVK_Internet::DbxMailbox& mailbox);

    EngineView* view_;
    JobControl control_;
    JobCounts counts_;
    bool backupOverwriteConfirmed_ = false;
    // The steps of the job being run.
    AttachmentWriter* writer_ = nullptr;
    MessageExtractor* extractor_ = nullptr;
    // What this job decided for each damaged or carved mailbox, so that the counting pass
    // and the extraction each carve or ask once.
    struct MailboxDecision {
        TOVK_Utils::String path;
        Opened opened;
        std::vector<uint32_t> offsets; // a carve's list
        size_t indexed = 0;
    };
    std::vector<MailboxDecision> decisions_;
    // Buffers kept for the life of the job object, so that a message costs no heap
    // growth and no page faults: the raw message and its rebuilt text.
    TOVK_Utils::StoreVirtual<TOVK_Utils::Block> message_;
    TOVK_Utils::StoreVirtual<TOVK_Utils::Block> rewrite_;
    // A mailbox whose cut messages wait to be written, kept open (and locked) with its
    // journal until the settle that several mailboxes share.
    struct UnsettledMailbox {
        TOVK_Internet::DbxMailbox mailbox;
        TOVK_Internet::DbxJournal journal;
        TOVK_Utils::String path;
        int32_t messages = 0;                  // cut and waiting
        std::vector<TOVK_Utils::String> saved; // the files those cuts depend on
    };
    std::vector<std::unique_ptr<UnsettledMailbox>> unsettled_;
    int32_t unsettledMessages_ = 0;
    int64_t unsettledBytes_ = 0;
    // Settles every waiting mailbox and the one being processed (when given); each that
    // fails is reported. False when the one being processed failed.
    bool settleCuts(UnsettledMailbox* current = nullptr);
};
