// CutBatch: the mailboxes whose cut messages wait to be written. A mailbox being cut keeps
// its undo journal; its cut messages are staged, and wait, the mailbox open (and locked),
// until this many messages, bytes of their cut texts (kept twice, with the bytes they
// replace) or mailboxes wait. Then all are settled together by DbxCommit, which orders
// what reaches the disk when, so that a few flushes serve many mailboxes. Until then a
// crash puts every waiting message back as it was, which loses nothing.
#pragma once

#include "engine/EngineView.h"
#include "engine/JobReport.h"
#include "formats/DbxCommit.h"
#include "formats/DbxJournal.h"
#include "formats/DbxMailbox.h"
#include "formats/DbxMailboxWriter.h"
#include "utils/Path.h"
#include "utils/String.h"

#include <cstdint>
#include <memory>
#include <vector>

class CutBatch {
public:
    static constexpr int32_t settleAfterMessages = 256;
    static constexpr int64_t settleAfterBytes = 32 << 20;
    static constexpr size_t settleAfterMailboxes = 16;

    // A mailbox whose cut messages wait to be written, kept open with its journal.
    struct UnsettledMailbox {
        TOVK_Internet::DbxMailbox mailbox;
        TOVK_Internet::DbxMailboxWriter writer{mailbox};
        TOVK_Internet::DbxJournal journal;
        TOVK_Utils::String path;
        int32_t messages = 0;                  // cut and waiting
        std::vector<TOVK_Utils::String> saved; // the files those cuts depend on
    };

    CutBatch(EngineView& view, JobReport& report) : view_(view), report_(report) {}

    // Gives the opened mailbox its undo journal, so that its cut messages can wait here.
    // False (said why) when the journal cannot be made: the mailbox is
    // then only read.
    bool prepare(UnsettledMailbox& box, const TOVK_Utils::Path& path);
    // One cut message of the mailbox was staged (its text this many bytes), and its cut
    // depends on these files.
    void staged(UnsettledMailbox& box, int64_t bytes, const std::vector<TOVK_Utils::String>& files);
    // Whether what waits, with the mailbox being processed counted too, calls for a settle.
    bool isFull() const;
    // A mailbox whose messages were all processed: its cuts wait with the others'.
    void keep(std::unique_ptr<UnsettledMailbox> box);
    // Settles every waiting mailbox and the one being processed (when given); each that
    // fails is reported. False when the one being processed failed.
    bool settle(UnsettledMailbox* current = nullptr);
    // The passes are over: everything waiting is settled, and the journals' removals made
    // to stay gone.
    void finish();

private:
    void reportChanged(const UnsettledMailbox& box, int32_t messages);
    void reportUnsettled(const UnsettledMailbox& box, int32_t messages,
                         TOVK_Internet::DbxCommit::Outcome outcome);
    void flushJournalRemovals();

    EngineView& view_;
    JobReport& report_;
    std::vector<std::unique_ptr<UnsettledMailbox>> waiting_;
    int32_t messages_ = 0;
    int64_t bytes_ = 0;
};
