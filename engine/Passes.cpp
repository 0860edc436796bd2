// The two passes: one Outlook Express mailbox, and one folder of message files.
#include "engine/ExtractThread.h"

#include "formats/DbxJournal.h"
#include "formats/Decoding.h"
#include "formats/MessageCut.h"
#include "utils/DirectorySearch.h"
#include "utils/File.h"
#include "utils/FileSystem.h"

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

bool ExtractThread::openMailbox(const Block& name, DbxMailbox& mailbox) {
    EngineView& v = view();
    Path path;
    mailboxPath(path, v.outlookExpressStoreRoot(), name);
    String text;
    TOVK_Utils::format(text, "Opening mailbox: %s.dbx", false, name);
    v.postStatusText(text);
    if (!recoverMailbox(path))
        return false;
    // Read sharing only while cutting, so that no other program writes the mailbox while
    // its messages are being rewritten; without cutting it is only read.
    const auto access =
        v.cutAttachments() ? DbxMailbox::Access::ReadWrite : DbxMailbox::Access::Read;
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
        return false;
    }
    TOVK_Utils::format(text, "Scanning mailbox: %s.dbx", false, name);
    v.postStatusText(text);
    if (!mailbox.scan()) {
        TOVK_Utils::format(text,
                           "%s is corrupt and cannot be extracted from. Extraction of all "
                           "mailboxes will halt.",
                           false, path);
        showError(ViewOwner::ProgressWindow, "Error", text);
        return false;
    }
    return true;
}

void ExtractThread::processMailbox(const Block& name) {
    EngineView& v = view();
    addCount(mailboxCount, ViewCounter::Mailboxes, 1);
    DbxMailbox mailbox;
    if (!openMailbox(name, mailbox))
        return;
    Path path;
    mailboxPath(path, v.outlookExpressStoreRoot(), name);
    std::unique_ptr<ViewQuestion> question = v.newQuestion();
    StoreVirtual<Block>& message = message_;
    StoreVirtual<Block>& rewrite = rewrite_;
    const int32_t count = static_cast<int32_t>(mailbox.messageOffsets.size());
    String text, where;
    // The old bytes of every block go to the journal, and reach the disk, before the
    // block is written: a crash between two writes is undone at the next open.
    TOVK_Internet::DbxJournal journal;
    bool cut = v.cutAttachments();
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
    // Until the journal is settled, a crash puts every message cut since back as it was:
    // the attachments they depend on need reach the disk only before that, so one flush
    // serves many messages.
    int32_t unsettledMessages = 0;
    int64_t unsettledBytes = 0;
    auto settle = [&]() {
        if (unsettledMessages == 0)
            return true;
        const bool settled = savedFilesReachedTheDisk() && mailbox.settle();
        savedForCut_.clear();
        unsettledMessages = 0;
        unsettledBytes = 0;
        if (!settled) {
            TOVK_Utils::format(text,
                               "The attachments or the mailbox %s could not be flushed to the "
                               "disk. The messages cut since the last flush will be put back "
                               "as they were the next time the mailbox is opened; extraction "
                               "goes on with the next mailbox.",
                               false, path);
            report(text);
            showError(ViewOwner::ProgressWindow, "Error", text);
        }
        return settled;
    };
    int32_t number = 1;
    for (const uint32_t offset : mailbox.messageOffsets) {
        pollCommands();
        if (stopRequested)
            break;
        if ((unsettledMessages >= settleAfterMessages || unsettledBytes >= settleAfterBytes) &&
            !settle())
            return;
        TOVK_Utils::format(where, "message %d of %d of %s.dbx", false, number, count, name);
        TOVK_Utils::format(text, "Processing message %d of %d of %s.dbx", false, number++, count,
                           name);
        v.postStatusText(text);
        bool complete = false;
        bool readFailed = false;
        try {
            complete = mailbox.readMessage(offset, message);
        } catch (int) {
            readFailed = true;
        }
        addCount(emailCount, ViewCounter::Emails, 1);
        v.setProgress(++position);
        if (readFailed) {
            ++unreadableMessages;
            TOVK_Utils::format(text,
                               "Reading %s failed at message %d of %d: the file could not be "
                               "read. Its other messages are skipped; extraction goes on with "
                               "the next mailbox.",
                               false, path, number - 1, count);
            report(text);
            showError(ViewOwner::ProgressWindow, "Error", text);
            break;
        }
        if (!complete) {
            ++unreadableMessages; // nothing is taken from a message that did not read whole
            TOVK_Utils::format(text, "could not read %s: its chain of blocks is damaged", false,
                               where);
            report(text);
            continue;
        }
        MimePart root;
        root.parse(message);
        if (!extractAttachments(root, *question, where) || !cut ||
            !cutText(root, message, rewrite, where))
            continue;
        try {
            if (mailbox.writeMessage(offset, rewrite)) {
                ++unsettledMessages;
                unsettledBytes += message.byteSize();
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
    if (settle())
        journal.close();
    v.setProgress(position);
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

// An attachment that lives only in the page cache could vanish with a power loss after
// the message that held it was cut for good: every file a cut depends on reaches the disk
// first, its name in the folder too.
bool ExtractThread::savedFilesReachedTheDisk() {
    bool flushed = true;
    for (const String& saved : savedForCut_)
        flushed = TOVK_Utils::flushFile(saved) && flushed;
    if (!savedForCut_.empty()) {
        String folder;
        workPath(folder, view().extractFolder());
        flushed = TOVK_Utils::flushDirectory(folder) && flushed;
    }
    return flushed;
}

int32_t ExtractThread::countEmlFiles(const Block& folder) {
    return static_cast<int32_t>(messageFileNames(folder).size());
}

void ExtractThread::processEmlFolder(const Block& folder) {
    EngineView& v = view();
    addCount(mailboxCount, ViewCounter::Mailboxes, 1);
    // The names are taken first, once: rewriting files while the folder is being listed
    // could make the listing deliver a file twice or skip one.
    const std::vector<String> names = messageFileNames(folder);
    const int32_t count = static_cast<int32_t>(names.size());
    std::unique_ptr<ViewQuestion> question = v.newQuestion();
    StoreVirtual<Block>& message = message_;
    StoreVirtual<Block>& rewrite = rewrite_;

    const bool cut = v.cutAttachments();
    int32_t number = 1;
    String text;
    Path path;
    for (const String& name : names) {
        pollCommands();
        if (stopRequested)
            return;
        TOVK_Utils::format(text, "Processing message %d of %d of %s", false, number++, count,
                           folder);
        v.postStatusText(text);
        path.join(folder, name);
        TOVK_Utils::File file;
        const bool complete = file.openForReading(path, false) && file.readRest(message);
        file.close();
        addCount(emailCount, ViewCounter::Emails, 1);
        v.setProgress(++position);
        if (!complete) {
            ++unreadableMessages; // treated as a message without attachments, never rewritten
            TOVK_Utils::format(text, "could not read %s", false, path);
            report(text);
            continue;
        }
        MimePart root;
        root.parse(message);
        if (!extractAttachments(root, *question, path) || !cut)
            continue;
        // Writing a copy back in place is the only way to keep every link, and it could
        // not be undone after a crash: such a file keeps its attachments.
        if (TOVK_Utils::hardLinkCount(path) > 1) {
            reportNotWrittenBack(path, "the file has several hard links");
            continue;
        }
        // A message file is replaced at once: its attachments reach the disk first.
        const bool flushed = savedFilesReachedTheDisk();
        savedForCut_.clear();
        if (!flushed)
            reportNotWrittenBack(path, "its attachments could not be flushed to the disk");
        else if (cutText(root, message, rewrite, path) && !replaceFile(path, rewrite))
            reportNotWrittenBack(path, "a write error");
    }
}

bool ExtractThread::extractAttachments(MimePart& root, ViewQuestion& question, const Block& where) {
    if (root.isUnparseable())
        return false;
    const bool cut = view().cutAttachments();
    bool dropped = false;
    Path saved;
    for (auto& part : root.allParts) {
        if (!part->isAttachment())
            continue;
        const bool clean = TOVK_Internet::decodeContent(*part, decoded_);
        if (!saveAttachment(part->fileName, part->charset, decoded_, question, saved)) {
            ++saveFailures;
            String text;
            TOVK_Utils::format(text, "could not save attachment %s of %s as %s", false,
                               part->fileName, where, saved);
            report(text);
            continue;
        }
        addCount(attachmentCount, ViewCounter::Attachments, 1);
        addMegabytes(encodedBytes, ViewCounter::Encoded, part->body.length());
        addMegabytes(decodedBytes, ViewCounter::Decoded, decoded_.length());
        if (!cut)
            continue;
        // The file is read back before its part leaves the message: once cut, it is the
        // only copy.
        if (clean && part->hasExactExtent() && sameContent(saved, decoded_)) {
            part->drop();
            dropped = true;
            savedForCut_.emplace_back(saved);
        } else {
            ++keptInMessage;
        }
    }
    return dropped;
}

bool ExtractThread::cutText(const MimePart& root, const Block& message, Block& output,
                            const Block& where) {
    if (TOVK_Internet::spliceOutDropped(root, message, output) &&
        TOVK_Internet::cutKeepsTheRest(root, output))
        return true;
    reportNotWrittenBack(where, "its cut text failed the check");
    return false;
}

void ExtractThread::reportNotWrittenBack(const Block& where, const char* why) {
    ++writeFailures;
    String text;
    TOVK_Utils::format(text, "%s was not written back: %s", false, where, String(why));
    report(text);
}

void ExtractThread::report(const Block& text) {
    view().reportProblem(text);
}
