// MailboxPass: one Outlook Express mailbox, from opening and scanning it to every message
// read, its attachments saved and, when cutting, its cut text staged in the cut batch.
// The counting pass opens each mailbox through it too. A mailbox whose index cannot be
// read is carved for its messages (asking first when the view says so) and then only
// read; while cutting it is left as it is. What the job decided for each such mailbox is
// kept for the job, so that it is carved, or asked about, once.
//
// Every call into the mailbox and its journal is made here, in CutBatch, in Backups or in
// Recoveries.
#pragma once

#include "engine/CutBatch.h"
#include "engine/PassContext.h"
#include "formats/DbxMailbox.h"
#include "formats/MimePart.h"
#include "utils/Block.h"
#include "utils/Path.h"
#include "utils/String.h"

#include <cstdint>
#include <memory>
#include <vector>

class MailboxPass {
public:
    enum class Opened {
        Ready,     // scanned, or carved: its messageOffsets are the messages to process
        LeftAlone, // damaged and left as it is (reported); the job goes on
        Halt,      // the user was told why; in the counting pass, the job halts
    };
    // What became of the mailbox in the extraction.
    enum class Fate {
        Read,         // every message was taken; its cuts wait in the batch or are written
        NotOpened,    // not opened, not scanned, or left as it is: said why
        Stopped,      // the user stopped the job: the pass left before the next message
        ReadFailed,   // the file could not be read: its other messages are skipped
        SettleFailed, // its waiting cuts could not be written: said why
    };
    struct Counted {
        Opened opened;
        int32_t messages; // when Ready
    };
    // What the job decided for a damaged or carved mailbox.
    struct Decision {
        TOVK_Utils::String path;
        Opened opened;
        std::vector<uint32_t> offsets; // a carve's list
        size_t indexed = 0;
    };
    using Decisions = std::vector<Decision>;

    // name: the list's text, the mailbox file's name without ".dbx".
    MailboxPass(PassContext& context, CutBatch& batch, Decisions& decisions,
                const TOVK_Utils::Block& name);

    // The counting pass: opens and scans the mailbox, and closes it again.
    Counted count();
    Fate run();

private:
    // How the reading of one message ended.
    enum class Taken {
        Done,           // read (or not, and said so); the mailbox goes on
        FileUnreadable, // the file failed to read: the mailbox ends
    };

    Opened open(TOVK_Internet::DbxMailbox& mailbox);
    bool openFile(TOVK_Internet::DbxMailbox& mailbox);
    Opened leaveDamaged();
    Opened rescue(TOVK_Internet::DbxMailbox& mailbox);
    bool decided(Opened opened, const Decision** decision = nullptr) const;
    Fate readMessages();
    void postStatus();
    Taken take(uint32_t offset);
    Taken writeBack(uint32_t offset);
    void finish(Fate fate);

    PassContext& context_;
    CutBatch& batch_;
    Decisions& decisions_;
    const TOVK_Utils::Block& name_;
    TOVK_Utils::Path path_;
    std::unique_ptr<CutBatch::UnsettledMailbox> box_;
    bool cut_ = false;
    // Why a mailbox is only read in a cutting job.
    enum class Uncut {
        No,
        Recovery,  // it may hold half-written messages (recovery said so)
        HardLinks, // its journal would lie beside one of its names only
        ReadOnly,  // marked read-only, or it cannot be opened for writing
    };
    bool cutRefused() const { return uncut_ != Uncut::No; }
    void reportUncut();
    Uncut uncut_ = Uncut::No;
    int32_t count_ = 0;        // messages found by the scan or the carve
    int32_t number_ = 0;       // 1-based, of the message being read
    TOVK_Utils::String where_; // that message, for reports
};
