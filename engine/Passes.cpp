// The two passes: one Outlook Express mailbox, and one folder of message files.
#include "engine/ExtractThread.h"

#include "engine/JobPaths.h"

#include "formats/DbxJournal.h"
#include "utils/DirectorySearch.h"
#include "utils/File.h"
#include "utils/FileSystem.h"

#include <memory>
#include <vector>

using TOVK_Internet::DbxMailbox;
using TOVK_Internet::MimePart;
using TOVK_Utils::Block;
using TOVK_Utils::Path;
using TOVK_Utils::StoreVirtual;
using TOVK_Utils::String;

namespace {

// Only names that end in ".eml" count: a short 8.3 alias can make "*.eml" match
// "note.emlx", and such a file is not a message of this folder.
bool isMessageFileName(const String& name) {
    String narrow;
    narrow.toNarrow(name);
    const int32_t n = narrow.length();
    return n >= 4 && narrow.startsWithAtNoCase(String(".eml"), n - 4);
}

// The message file is replaced only once its new text is complete on the disk: written
// beside it, flushed, then renamed over it. On any failure the original stays.
bool replaceFile(const Path& path, const Block& text) {
    return TOVK_Utils::replaceBeside(path, [&](const Path& temporary) {
        TOVK_Utils::File out;
        if (!out.openForWriting(temporary, false)) // never replaces a file that is there
            return false;
        const bool written = out.write(text) && out.flush();
        if (out.close() == 1 && written)
            return true;
        TOVK_Utils::removeFile(temporary);
        return false;
    });
}

// The folder's message files, in the platform's order.
std::vector<String> messageFileNames(const Block& folder) {
    std::vector<String> names;
    Path pattern;
    pattern.join(folder, String("*.eml"));
    TOVK_Utils::DirectorySearch search;
    for (bool found = search.first(pattern, pattern.isWide()); found; found = search.next())
        if (!search.isDirectory() && isMessageFileName(search.name()))
            names.emplace_back(search.name());
    return names;
}

} // namespace

ExtractThread::Opened ExtractThread::openMailbox(const Block& name, DbxMailbox& mailbox) {
    EngineView& v = view();
    Path path;
    mailboxPath(path, v.outlookExpressStoreRoot(), name);
    String text;
    TOVK_Utils::format(text, "Opening mailbox: %s.dbx", false, name);
    v.postStatusText(text);
    if (!recoverMailbox(path))
        return Opened::Halt;
    // Read sharing only while cutting, so that no other program writes the mailbox while
    // its messages are being rewritten; without cutting it is only read.
    const bool cut = v.cutAttachments();
    const auto access = cut ? DbxMailbox::Access::ReadWrite : DbxMailbox::Access::Read;
    if (!mailbox.open(path, access)) {
        if (mailbox.openWasRefusedAsInUse())
            TOVK_Utils::format(text,
                               "%s is in use by another program. Close it and try again. "
                               "Extraction will halt.",
                               false, path);
        else
            TOVK_Utils::format(text, "%s is not an Outlook Express mailbox. Extraction will halt.",
                               false, path);
        showError(ViewOwner::ProgressWindow, "Error", text);
        return Opened::Halt;
    }
    TOVK_Utils::format(text, "Scanning mailbox: %s.dbx", false, name);
    v.postStatusText(text);
    const bool indexRead = mailbox.scan();
    const Rescue rescue = v.rescue();
    if (indexRead && (cut || rescue != Rescue::Always))
        return Opened::Ready;
    for (const MailboxDecision& decision : decisions_)
        if (decision.path.equals(path) && decision.opened == Opened::LeftAlone)
            return Opened::LeftAlone; // said so in the counting pass already
    if (cut) {
        // Rescue never writes, and carved chains could not be cut safely anyway: the
        // mailbox stays as it is for a later run without cutting.
        ++counts_.damagedLeft;
        decisions_.push_back({String(path), Opened::LeftAlone, {}, 0});
        TOVK_Utils::format(text,
                           "%s is corrupt: its message index cannot be read. It is left as it "
                           "is; extraction goes on with the next mailbox. Extracting without "
                           "cutting can recover its attachments.",
                           false, path);
        report(text);
        showError(ViewOwner::ProgressWindow, "Error", text);
        return Opened::LeftAlone;
    }
    return rescueMailbox(path, name, mailbox);
}

ExtractThread::Opened ExtractThread::rescueMailbox(const Path& path, const Block& name,
                                                   DbxMailbox& mailbox) {
    EngineView& v = view();
    for (const MailboxDecision& decision : decisions_) {
        if (decision.path.equals(path) && decision.opened == Opened::Ready) {
            mailbox.takeCarved(decision.offsets, decision.indexed);
            return Opened::Ready;
        }
    }
    String text;
    const bool indexRead = mailbox.indexWasRead();
    if (!indexRead && v.rescue() == Rescue::Ask) {
        TOVK_Utils::format(text,
                           "%s is corrupt: its message index cannot be read. Its messages may "
                           "still be in the file, and their attachments can be recovered from "
                           "it without changing it. Recover attachments, or halt the extraction "
                           "of all mailboxes?",
                           false, path);
        if (v.ask(ViewOwner::ProgressWindow,
                  QuestionText{"Error", &text, "Recover attachments", "Halt extraction"}) != 1)
            return Opened::Halt;
    }
    TOVK_Utils::format(text, "Recovering the messages of %s.dbx", false, name);
    v.postStatusText(text);
    if (!mailbox.carve()) {
        TOVK_Utils::format(text, "%s could not be read. Extraction of all mailboxes will halt.",
                           false, path);
        report(text);
        showError(ViewOwner::ProgressWindow, "Error", text);
        return Opened::Halt;
    }
    decisions_.push_back(
        {String(path), Opened::Ready, mailbox.messageOffsets, mailbox.indexedMessages()});
    if (!indexRead) {
        TOVK_Utils::format(text,
                           "%s is corrupt: its message index cannot be read. Its messages were "
                           "recovered from its data blocks: %d found.",
                           false, path, int32_t(mailbox.messageOffsets.size()));
        report(text);
    }
    return Opened::Ready;
}

void ExtractThread::processMailbox(const Block& name) {
    EngineView& v = view();
    jobReport().addMailbox();
    auto current = std::make_unique<UnsettledMailbox>();
    DbxMailbox& mailbox = current->mailbox;
    if (openMailbox(name, mailbox) != Opened::Ready)
        return;
    Path path;
    mailboxPath(path, v.outlookExpressStoreRoot(), name);
    current->path.assign(path);
    StoreVirtual<Block>& message = message_;
    StoreVirtual<Block>& rewrite = rewrite_;
    const int32_t count = static_cast<int32_t>(mailbox.messageOffsets.size());
    String text, where;
    // The old bytes of every block go to the journal, and reach the disk, before the
    // block is written: a crash between two writes is undone at the next open.
    TOVK_Internet::DbxJournal& journal = current->journal;
    // A carved mailbox is only read: its chains may be deleted messages or cut leftovers.
    const bool carved = mailbox.wasCarved();
    const size_t indexed = mailbox.indexedMessages();
    bool cut = v.cutAttachments() && !carved;
    if (cut) {
        if (journal.open(path, mailbox.fileSize(), TOVK_Utils::fileIdentity(path))) {
            mailbox.setJournal(&journal, DbxMailbox::Settle::OnRequest);
        } else {
            cut = false;
            TOVK_Utils::format(text, "%s is only read: its undo journal could not be prepared",
                               false, path);
            report(text);
        }
    }
    // Its cut messages are written when it is settled, with other mailboxes' (see
    // settleCuts), and until then a crash puts them back as they were.
    auto waitingTooLong = [&]() {
        return unsettledMessages_ >= settleAfterMessages || unsettledBytes_ >= settleAfterBytes ||
               unsettled_.size() + 1 >= settleAfterMailboxes;
    };
    int32_t number = 1;
    for (const uint32_t offset : mailbox.messageOffsets) {
        control_.poll();
        if (control_.stopRequested())
            break;
        if (current->messages > 0 && waitingTooLong() && !settleCuts(current.get()))
            return;
        const bool fromCarve = carved && size_t(number - 1) >= indexed;
        TOVK_Utils::format(where, "message %d of %d of %s.dbx", false, number, count, name);
        if (fromCarve) {
            if (mailbox.indexWasRead())
                ++counts_.notInIndex;
            else
                ++counts_.recovered;
            TOVK_Utils::format(text,
                               "Recovering message %d of %d of %s.dbx (%d recovered, %d not in "
                               "the index, %d broken off)",
                               false, number++, count, name, counts_.recovered, counts_.notInIndex,
                               counts_.brokenOff);
        } else {
            TOVK_Utils::format(text, "Processing message %d of %d of %s.dbx", false, number++,
                               count, name);
        }
        v.postStatusText(text);
        bool complete = false;
        bool readFailed = false;
        try {
            complete = mailbox.readMessage(offset, message);
        } catch (int) {
            readFailed = true;
        }
        jobReport().addEmail();
        if (readFailed) {
            ++counts_.unreadableMessages;
            TOVK_Utils::format(text,
                               "Reading %s failed at message %d of %d: the file could not be "
                               "read. Its other messages are skipped; extraction goes on with "
                               "the next mailbox.",
                               false, path, number - 1, count);
            report(text);
            showError(ViewOwner::ProgressWindow, "Error", text);
            break;
        }
        if (!complete && carved) {
            // Rescue gives what a broken chain still holds; it is never written back.
            ++counts_.brokenOff;
            TOVK_Utils::format(text,
                               "%s breaks off: its chain of blocks is damaged; what it holds "
                               "is extracted",
                               false, where);
            report(text);
        } else if (!complete) {
            ++counts_.unreadableMessages; // nothing is taken from a message that did not read whole
            TOVK_Utils::format(text, "could not read %s: its chain of blocks is damaged", false,
                               where);
            report(text);
            continue;
        }
        MimePart root;
        root.parse(message);
        if (!extractor_->extract(root, where) || !cut ||
            !extractor_->cutText(root, message, rewrite, where))
            continue;
        try {
            if (mailbox.writeMessage(offset, rewrite)) {
                ++current->messages;
                ++unsettledMessages_;
                unsettledBytes_ += rewrite.byteSize();
                const std::vector<String>& files = extractor_->cutFiles();
                current->saved.insert(current->saved.end(), files.begin(), files.end());
            } else {
                reportNotWrittenBack(where, "its blocks are not its own alone, or it does not "
                                            "fit them");
            }
        } catch (int) {
            if (mailbox.lastWriteRestored()) {
                reportNotWrittenBack(where, "a write error; its original text was put back");
                continue;
            }
            reportNotWrittenBack(where, "a write error");
            TOVK_Utils::format(text,
                               "Writing %s back failed, and its original bytes could not all be "
                               "put back now. They are kept in %s and will be put back the next "
                               "time the mailbox is opened. Extraction goes on with the next "
                               "mailbox.",
                               false, where, TOVK_Internet::DbxJournal::journalPath(path));
            report(text);
            showError(ViewOwner::ProgressWindow, "Error", text);
            return; // the journal stays for the next open
        }
    }
    if (current->messages > 0) {
        mailbox.keepOnlyStaged();
        unsettled_.push_back(std::move(current));
    }
    if (waitingTooLong())
        settleCuts();
    v.setProgress(counts_.emails);
}

// One flush of every waiting mailbox's journal, together with the attachments their cuts
// depend on, then one of the mailboxes once their messages are written: two flushes for
// many mailboxes, where each flush costs the disk a cache flush whatever it holds.
bool ExtractThread::settleCuts(UnsettledMailbox* current) {
    std::vector<UnsettledMailbox*> group;
    for (const auto& waiting : unsettled_)
        group.push_back(waiting.get());
    if (current && current->messages > 0)
        group.push_back(current);
    if (group.empty())
        return true;
    String extractFolder;
    workPath(extractFolder, view().extractFolder());
    std::vector<DbxMailbox*> boxes;
    for (UnsettledMailbox* box : group) {
        box->journal.flushAlongside(extractFolder, box->saved);
        boxes.push_back(&box->mailbox);
    }
    const std::vector<bool> settled = DbxMailbox::settleTogether(boxes);
    bool currentSettled = true;
    String text;
    for (size_t i = 0; i < group.size(); ++i) {
        UnsettledMailbox& box = *group[i];
        const int32_t messages = box.messages;
        box.messages = 0;
        box.saved.clear();
        if (settled[i])
            continue;
        if (&box == current)
            currentSettled = false;
        counts_.writeFailures += messages;
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
        report(text);
        showError(ViewOwner::ProgressWindow, "Error", text);
    }
    // Closed, each journal goes when it holds nothing, and stays for the next open when a
    // write could not be put back.
    unsettled_.clear();
    unsettledMessages_ = 0;
    unsettledBytes_ = 0;
    return currentSettled;
}

bool ExtractThread::recoverMailbox(const Path& path) {
    if (!TOVK_Internet::DbxJournal::exists(path))
        return true;
    const TOVK_Internet::RecoveryResult result = TOVK_Internet::DbxJournal::recover(path);
    using Outcome = TOVK_Internet::RecoveryResult::Outcome;
    const bool usable =
        result.outcome == Outcome::NothingToRecover || result.outcome == Outcome::Restored;
    report(result.text);
    if (usable) {
        if (result.outcome == Outcome::Restored)
            view().ask(ViewOwner::ProgressWindow, QuestionText{"Information", &result.text, "Ok"});
        return true;
    }
    String text;
    TOVK_Utils::format(text, "%s Extraction will halt.", false, result.text);
    showError(ViewOwner::ProgressWindow, "Error", text);
    return false;
}

int32_t ExtractThread::countEmlFiles(const Block& folder) {
    return static_cast<int32_t>(messageFileNames(folder).size());
}

void ExtractThread::processEmlFolder(const Block& folder) {
    EngineView& v = view();
    jobReport().addMailbox();
    // The names are taken first, once: rewriting files while the folder is being listed
    // could make the listing deliver a file twice or skip one.
    const std::vector<String> names = messageFileNames(folder);
    const int32_t count = static_cast<int32_t>(names.size());
    StoreVirtual<Block>& message = message_;
    StoreVirtual<Block>& rewrite = rewrite_;

    const bool cut = v.cutAttachments();
    int32_t number = 1;
    String text;
    Path path;
    for (const String& name : names) {
        control_.poll();
        if (control_.stopRequested())
            return;
        TOVK_Utils::format(text, "Processing message %d of %d of %s", false, number++, count,
                           folder);
        v.postStatusText(text);
        path.join(folder, name);
        TOVK_Utils::File file;
        const bool complete = file.openForReading(path, false) && file.readRest(message);
        file.close();
        jobReport().addEmail();
        if (!complete) {
            ++counts_
                  .unreadableMessages; // treated as a message without attachments, never rewritten
            TOVK_Utils::format(text, "could not read %s", false, path);
            report(text);
            continue;
        }
        MimePart root;
        root.parse(message);
        if (!extractor_->extract(root, path) || !cut)
            continue;
        // Writing a copy back in place is the only way to keep every link, and it could
        // not be undone after a crash: such a file keeps its attachments.
        if (TOVK_Utils::hardLinkCount(path) > 1) {
            reportNotWrittenBack(path, "the file has several hard links");
            continue;
        }
        // A message file is replaced at once: its attachments reach the disk first.
        if (!writer_->flushToDisk(extractor_->cutFiles()))
            reportNotWrittenBack(path, "its attachments could not be flushed to the disk");
        else if (extractor_->cutText(root, message, rewrite, path) && !replaceFile(path, rewrite))
            reportNotWrittenBack(path, "a write error");
    }
}

void ExtractThread::reportNotWrittenBack(const Block& where, const char* why) {
    ++counts_.writeFailures;
    String text;
    TOVK_Utils::format(text, "%s was not written back: %s", false, where, String(why));
    report(text);
}

void ExtractThread::report(const Block& text) {
    view().reportProblem(text);
}
