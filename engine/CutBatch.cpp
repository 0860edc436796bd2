#include "engine/CutBatch.h"

#include "engine/JobPaths.h"

#include "utils/FileSystem.h"

using TOVK_Internet::DbxCommit;
using TOVK_Utils::Path;
using TOVK_Utils::String;

bool CutBatch::prepare(UnsettledMailbox& box, const Path& path) {
    if (box.journal.open(path, box.mailbox.fileSize(), TOVK_Utils::fileIdentity(path)))
        return true;
    String text;
    TOVK_Utils::format(text, "%s is only read: its undo journal could not be prepared", path);
    report_.problem(text);
    return false;
}

void CutBatch::staged(UnsettledMailbox& box, int64_t bytes, const std::vector<String>& files) {
    ++box.messages;
    ++messages_;
    bytes_ += bytes;
    box.saved.insert(box.saved.end(), files.begin(), files.end());
}

bool CutBatch::isFull() const {
    return messages_ >= settleAfterMessages || bytes_ >= settleAfterBytes ||
           waiting_.size() + 1 >= settleAfterMailboxes;
}

void CutBatch::keep(std::unique_ptr<UnsettledMailbox> box) {
    box->mailbox.releaseScan();
    waiting_.push_back(std::move(box));
}

bool CutBatch::settle(UnsettledMailbox* current) {
    std::vector<UnsettledMailbox*> group;
    for (const auto& waiting : waiting_)
        group.push_back(waiting.get());
    if (current && current->messages > 0)
        group.push_back(current);
    if (group.empty())
        return true;
    String extractFolder;
    workPath(extractFolder, view_.extractFolder());
    std::vector<DbxCommit::Waiting> waiting;
    for (UnsettledMailbox* box : group)
        waiting.push_back({&box->writer, &box->journal, {extractFolder, box->saved}});
    const std::vector<DbxCommit::Outcome> settled = DbxCommit::settle(waiting);
    bool currentSettled = true;
    for (size_t i = 0; i < group.size(); ++i) {
        UnsettledMailbox& box = *group[i];
        const int32_t changed = static_cast<int32_t>(box.writer.takeDropped());
        reportChanged(box, changed);
        const int32_t messages = box.messages - changed;
        box.messages = 0;
        box.saved.clear();
        if (settled[i] == DbxCommit::Outcome::Settled)
            continue;
        if (&box == current)
            currentSettled = false;
        reportUnsettled(box, messages, settled[i]);
    }
    // Closed, each journal goes when it holds nothing, and stays for the next open when a
    // write could not be put back.
    waiting_.clear();
    messages_ = 0;
    bytes_ = 0;
    return currentSettled;
}

void CutBatch::reportUnsettled(const UnsettledMailbox& box, int32_t messages,
                               DbxCommit::Outcome outcome) {
    report_.counts().writeFailures += messages;
    String text;
    if (outcome == DbxCommit::Outcome::NotFlushed)
        TOVK_Utils::format(text,
                           "The attachments saved from %s, or its undo journal, could not "
                           "be flushed to the disk, so %d of its messages were not cut; "
                           "extraction goes on with the next mailbox.",
                           box.path, messages);
    else if (outcome == DbxCommit::Outcome::PutBack)
        TOVK_Utils::format(text,
                           "Writing %d cut messages back into %s failed; they were left as "
                           "they were. Extraction goes on with the next mailbox.",
                           messages, box.path);
    else
        TOVK_Utils::format(text,
                           "Writing %d cut messages back into %s failed, and their original "
                           "bytes could not all be put back now. They are kept in %s and "
                           "will be put back the next time the mailbox is opened. "
                           "Extraction goes on with the next mailbox.",
                           messages, box.path, TOVK_Internet::DbxJournal::journalPath(box.path));
    report_.problem(text);
    report_.showError(ViewOwner::ProgressWindow, text);
}

void CutBatch::reportChanged(const UnsettledMailbox& box, int32_t messages) {
    if (messages == 0)
        return;
    report_.counts().writeFailures += messages;
    String text;
    TOVK_Utils::format(text,
                       "%d cut messages of %s were not written back: they were changed while "
                       "they were being cut, and are left as they now are",
                       messages, box.path);
    report_.problem(text);
}

void CutBatch::finish() {
    settle();
    flushJournalRemovals();
}

// The last journals removed are made to stay gone (DbxCommit, invariant 5): one that came
// back after a power loss would return finished cuts to their old text.
void CutBatch::flushJournalRemovals() {
    String store;
    workPath(store, view_.outlookExpressStoreRoot());
    if (DbxCommit::flushRemovals(store))
        return;
    String text;
    TOVK_Utils::format(text,
                       "The mailbox folder %s could not be flushed to the disk: after a power "
                       "loss now, the last cuts may be undone when their mailboxes are opened "
                       "again. The attachments stay saved.",
                       store);
    report_.problem(text);
}
