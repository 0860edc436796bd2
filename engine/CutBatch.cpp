#include "engine/CutBatch.h"

#include "engine/JobPaths.h"

#include "utils/FileSystem.h"

using TOVK_Internet::DbxMailbox;
using TOVK_Utils::Path;
using TOVK_Utils::String;

bool CutBatch::prepare(UnsettledMailbox& box, const Path& path) {
    if (box.journal.open(path, box.mailbox.fileSize(), TOVK_Utils::fileIdentity(path))) {
        box.mailbox.setJournal(&box.journal, DbxMailbox::Settle::OnRequest);
        return true;
    }
    String text;
    TOVK_Utils::format(text, "%s is only read: its undo journal could not be prepared", false,
                       path);
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
    box->mailbox.keepOnlyStaged();
    waiting_.push_back(std::move(box));
}

// One flush of every waiting mailbox's journal, together with the attachments their cuts
// depend on, then one of the mailboxes once their messages are written: two flushes for
// many mailboxes, where each flush costs the disk a cache flush whatever it holds.
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
    std::vector<DbxMailbox*> boxes;
    for (UnsettledMailbox* box : group) {
        box->journal.flushAlongside(extractFolder, box->saved);
        boxes.push_back(&box->mailbox);
    }
    const std::vector<bool> settled = DbxMailbox::settleTogether(boxes);
    bool currentSettled = true;
    for (size_t i = 0; i < group.size(); ++i) {
        UnsettledMailbox& box = *group[i];
        const int32_t messages = box.messages;
        box.messages = 0;
        box.saved.clear();
        if (settled[i])
            continue;
        if (&box == current)
            currentSettled = false;
        reportUnsettled(box, messages);
    }
    // Closed, each journal goes when it holds nothing, and stays for the next open when a
    // write could not be put back.
    waiting_.clear();
    messages_ = 0;
    bytes_ = 0;
    return currentSettled;
}

void CutBatch::reportUnsettled(const UnsettledMailbox& box, int32_t messages) {
    report_.counts().writeFailures += messages;
    String text;
    if (box.journal.flushFailed())
        TOVK_Utils::format(text,
                           "The attachments saved from %s, or its undo journal, could not "
                           "be flushed to the disk, so %d of its messages were not cut; "
                           "extraction goes on with the next mailbox.",
                           false, box.path, messages);
    else if (box.mailbox.lastWriteRestored())
        TOVK_Utils::format(text,
                           "Writing %d cut messages back into %s failed; they were left as "
                           "they were. Extraction goes on with the next mailbox.",
                           false, messages, box.path);
    else
        TOVK_Utils::format(text,
                           "Writing %d cut messages back into %s failed, and their original "
                           "bytes could not all be put back now. They are kept in %s and "
                           "will be put back the next time the mailbox is opened. "
                           "Extraction goes on with the next mailbox.",
                           false, messages, box.path,
                           TOVK_Internet::DbxJournal::journalPath(box.path));
    report_.problem(text);
    report_.showError(ViewOwner::ProgressWindow, text);
}

void CutBatch::finish() {
    settle();
    flushJournalRemovals();
}

// A journal is removed once its mailbox's cuts are on the disk, and the removal is left
// to the next flush of the store folder, which the next mailbox's first batch brings. The
// last ones are made to stay gone here: a journal that came back after a power loss would
// return finished cuts to their old text.
void CutBatch::flushJournalRemovals() {
    String store;
    workPath(store, view_.outlookExpressStoreRoot());
    if (TOVK_Utils::flushDirectory(store))
        return;
    String text;
    TOVK_Utils::format(text,
                       "The mailbox folder %s could not be flushed to the disk: after a power "
                       "loss now, the last cuts may be undone when their mailboxes are opened "
                       "again. The attachments stay saved.",
                       false, store);
    report_.problem(text);
}
