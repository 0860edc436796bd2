// ExtractThread: the extraction job. Its body runs on the worker thread: it makes the
// backups, checks the destination folder, counts the messages of the ticked rows, runs
// the mailbox pass or the message-folder pass over each of them, and waits in a final
// state until the user presses "Done". It reaches everything outside itself through
// the EngineView.
#pragma once

#include "engine/CommandQueue.h"
#include "engine/EngineView.h"
#include "formats/DbxJournal.h"
#include "formats/DbxMailbox.h"
#include "formats/DbxMailboxWriter.h"
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
    // settled together (DbxCommit), so that a few flushes serve many mailboxes.
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
    // Saves one attachment under the name its message gives (decoded bytes in the named
    // charset), converted and cleaned; saved receives the file that holds it.
    bool saveAttachment(const TOVK_Utils::Block& fileName, const TOVK_Utils::Block& charset,
                        const TOVK_Utils::Block& content, ViewQuestion& question,
                        TOVK_Utils::Path& saved);
    // Writes the content under the path's name or the first free "_%d." name beside it;
    // the path is changed to the name that holds the content.
    bool writeUniqueFile(TOVK_Utils::Path& path, const TOVK_Utils::Block& content,
                         bool skipIdentical);
    // A new run: forgets the backups of the run before. Jobs of one run (klovin-extract's
    // store folders) never give two mailboxes one backup name, and back a mailbox up once.
    void beginRun() { backupsMade.clear(); }
    // The counts of the last job, as told to the view when it finished.
    JobCounts counts() const;
    void pollCommands();
    void addCount(int32_t& counter, ViewCounter label, int32_t amount);
    void addMegabytes(int64_t& counter, ViewCounter label, int64_t amount);

    CommandQueue commandQueue;
    bool stopRequested = false;
    bool paused = false;
    bool backupOverwriteConfirmed = false;
    bool showSaveErrors = true;
    int32_t totalMessages = 0;
    int32_t position = 0;
    int32_t emailCount = 0;
    int32_t attachmentCount = 0;
    int64_t encodedBytes = 0;
    int64_t decodedBytes = 0;
    int32_t mailboxCount = 0;

    // What went wrong in the last job, for summaries (the desktop program shows none).
    int32_t keptInMessage = 0;      // saved but not cut: not understood completely
    int32_t saveFailures = 0;       // attachments that could not be saved
    int32_t unreadableMessages = 0; // messages that could not be read whole
    int32_t writeFailures = 0;      // messages that could not be written back
    int32_t recoveredMessages = 0;  // found by carving a mailbox whose index is damaged
    int32_t notInIndexMessages = 0; // found by carving, not named by a readable index
    int32_t brokenChains = 0;       // carved mailboxes' messages whose chain broke off
    int32_t damagedLeft = 0;        // damaged mailboxes left as they are while cutting
    bool halted = false;            // the job ended early: a refusal, a damaged mailbox, a cancel

    struct BackupMade {
        TOVK_Utils::String mailbox; // the original's path
        TOVK_Utils::String backup;  // its copy's
        TOVK_Utils::FileIdentity identity;
    };
    std::vector<BackupMade> backupsMade; // in this run, in order

private:
    EngineView& view();
    void finalState();
    bool prepareBackups();
    bool prepareDestination();
    bool countMessages();
    bool destinationIsBeingRead(const TOVK_Utils::String& destination);
    // Decodes and saves every attachment of a parsed message. With cutting on, a part is
    // dropped from the message only when it was understood completely and its file holds
    // exactly its bytes; true when at least one was dropped. `where` names the message in
    // reports.
    bool extractAttachments(TOVK_Internet::MimePart& root, ViewQuestion& question,
                            const TOVK_Utils::Block& where);
    enum class Cutting { Allowed, Never };
    // What every saved attachment of one message needs.
    struct Saving {
        ViewQuestion* question;
        const TOVK_Utils::Block* where;
    };
    // Forwarded messages sent encoded are read this many levels deep.
    static constexpr int32_t maxForwardDepth = 16;
    bool extractFromMessage(TOVK_Internet::MimePart& root, Cutting cutting, const Saving& saving,
                            int32_t depth);
    void extractFromForward(const TOVK_Utils::Block& content, const Saving& saving, int32_t depth);
    void extractUnnamedUuencoded(TOVK_Internet::MimePart& part, Cutting cutting,
                                 const Saving& saving, bool& dropped);
    bool extractUuencodedInText(TOVK_Internet::MimePart& part, Cutting cutting,
                                const Saving& saving);
    // Saves one attachment under its name (decoded bytes, in the charset given) and counts
    // it, or reports it; saved receives the file that holds it.
    bool saveOne(const TOVK_Utils::Block& name, const TOVK_Utils::Block& charset,
                 const TOVK_Utils::Block& content, int64_t encodedLength, const Saving& saving,
                 TOVK_Utils::Path& saved);
    // The message's text without its dropped parts, checked; false (reported, counted as
    // not written back) when the cut text would lose anything else.
    bool cutText(const TOVK_Internet::MimePart& root, const TOVK_Utils::Block& message,
                 TOVK_Utils::Block& output, const TOVK_Utils::Block& where);
    void reportNotWrittenBack(const TOVK_Utils::Block& where, const char* why);
    // Puts back what an interrupted run left half-written in the mailbox, before anything
    // else is done with it (a backup copied first would hold the half-written mailbox).
    // False, after saying why, when the mailbox must not be used.
    bool recoverMailbox(const TOVK_Utils::Path& path);
    void flushJournalRemovals();
    void keepUntilSettled(const TOVK_Utils::Path& saved);
    bool savedFilesReachedTheDisk();
    void report(const TOVK_Utils::Block& text);
    bool sameContent(const TOVK_Utils::Path& path, const TOVK_Utils::Block& content);
    void mailboxPath(TOVK_Utils::Path& path, const TOVK_Utils::String& folder,
                     const TOVK_Utils::Block& name);
    void showError(ViewOwner owner, const char* title, const TOVK_Utils::Block& message);
    void workPath(TOVK_Utils::String& out, const TOVK_Utils::Block& text);

    // Carves the mailbox, or takes this job's earlier carve of it. Ready or Halt.
    Opened rescueMailbox(const TOVK_Utils::Path& path, const TOVK_Utils::Block& name,
                         TOVK_Internet::DbxMailbox& mailbox);

    EngineView* view_;
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
    // growth and no page faults: the raw message, its rebuilt text, the decoded
    // attachment, and an existing file read for comparison.
    TOVK_Utils::StoreVirtual<TOVK_Utils::Block> message_;
    TOVK_Utils::StoreVirtual<TOVK_Utils::Block> rewrite_;
    TOVK_Utils::Block decoded_;
    TOVK_Utils::Block decodedText_; // an encoded text part, searched for uuencoded files
    TOVK_Utils::Block existing_;
    // The files of the parts dropped from the message being cut.
    std::vector<TOVK_Utils::String> savedForCut_;
    // A mailbox whose cut messages wait to be written, kept open (and locked) with its
    // journal until the settle that several mailboxes share.
    struct UnsettledMailbox {
        TOVK_Internet::DbxMailbox mailbox;
        TOVK_Internet::DbxMailboxWriter writer{mailbox};
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
