// The two passes: one Outlook Express mailbox, and one folder of message files.
#include "engine/ExtractThread.h"

#include "engine/AttachmentName.h"
#include "engine/RecoveryReport.h"

#include "formats/DbxCommit.h"
#include "formats/DbxJournal.h"
#include "formats/Decoding.h"
#include "formats/MessageCut.h"
#include "formats/Uuencode.h"
#include "utils/DirectorySearch.h"
#include "utils/File.h"
#include "utils/FileSystem.h"

#include <memory>
#include <vector>

using TOVK_Internet::DbxMailbox;
using TOVK_Internet::MimePart;
using TOVK_Internet::TransferEncoding;
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
    const DbxMailbox::Open opened = mailbox.open(path, access);
    if (opened != DbxMailbox::Open::Opened) {
        if (opened == DbxMailbox::Open::InUse)
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
        ++damagedLeft;
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
    addCount(mailboxCount, ViewCounter::Mailboxes, 1);
    auto current = std::make_unique<UnsettledMailbox>();
    DbxMailbox& mailbox = current->mailbox;
    if (openMailbox(name, mailbox) != Opened::Ready)
        return;
    Path path;
    mailboxPath(path, v.outlookExpressStoreRoot(), name);
    current->path.assign(path);
    std::unique_ptr<ViewQuestion> question = v.newQuestion();
    StoreVirtual<Block>& message = message_;
    StoreVirtual<Block>& rewrite = rewrite_;
    const int32_t count = static_cast<int32_t>(mailbox.messageOffsets.size());
    String text, where;
    // The old bytes of every block go to the journal before the block is written (DbxCommit).
    TOVK_Internet::DbxJournal& journal = current->journal;
    // A carved mailbox is only read: its chains may be deleted messages or cut leftovers.
    const bool carved = mailbox.wasCarved();
    const size_t indexed = mailbox.indexedMessages();
    bool cut = v.cutAttachments() && !carved;
    if (cut) {
        if (!journal.open(path, mailbox.fileSize(), TOVK_Utils::fileIdentity(path))) {
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
        pollCommands();
        if (stopRequested)
            break;
        if (current->messages > 0 && waitingTooLong() && !settleCuts(current.get()))
            return;
        const bool fromCarve = carved && size_t(number - 1) >= indexed;
        TOVK_Utils::format(where, "message %d of %d of %s.dbx", false, number, count, name);
        if (fromCarve) {
            if (mailbox.indexWasRead())
                ++notInIndexMessages;
            else
                ++recoveredMessages;
            TOVK_Utils::format(text,
                               "Recovering message %d of %d of %s.dbx (%d recovered, %d not in "
                               "the index, %d broken off)",
                               false, number++, count, name, recoveredMessages, notInIndexMessages,
                               brokenChains);
        } else {
            TOVK_Utils::format(text, "Processing message %d of %d of %s.dbx", false, number++,
                               count, name);
        }
        v.postStatusText(text);
        const DbxMailbox::Read read = mailbox.readMessage(offset, message);
        const bool complete = read == DbxMailbox::Read::Complete;
        const bool readFailed = read == DbxMailbox::Read::Unreadable;
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
        if (!complete && carved) {
            // Rescue gives what a broken chain still holds; it is never written back.
            ++brokenChains;
            TOVK_Utils::format(text,
                               "%s breaks off: its chain of blocks is damaged; what it holds "
                               "is extracted",
                               false, where);
            report(text);
        } else if (!complete) {
            ++unreadableMessages; // nothing is taken from a message that did not read whole
            TOVK_Utils::format(text, "could not read %s: its chain of blocks is damaged", false,
                               where);
            report(text);
            continue;
        }
        MimePart root;
        root.parse(message);
        savedForCut_.clear();
        if (!extractAttachments(root, *question, where) || !cut ||
            !cutText(root, message, rewrite, where))
            continue;
        using Staging = TOVK_Internet::DbxMailboxWriter::Staging;
        const Staging staging = current->writer.stage(offset, rewrite);
        if (staging == Staging::Staged) {
            ++current->messages;
            ++unsettledMessages_;
            unsettledBytes_ += rewrite.byteSize();
            current->saved.insert(current->saved.end(), savedForCut_.begin(), savedForCut_.end());
        } else if (staging == Staging::Refused) {
            reportNotWrittenBack(where, "its blocks are not its own alone, or it does not "
                                        "fit them");
        } else {
            reportNotWrittenBack(where, "a write error; its original text was put back");
        }
    }
    if (current->messages > 0) {
        mailbox.releaseScan();
        unsettled_.push_back(std::move(current));
    }
    if (waitingTooLong())
        settleCuts();
    v.setProgress(position);
}

// Every waiting mailbox settled at once, with the attachments its cuts depend on: DbxCommit
// orders what reaches the disk when.
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
    using TOVK_Internet::DbxCommit;
    std::vector<DbxCommit::Waiting> waiting;
    for (UnsettledMailbox* box : group)
        waiting.push_back({&box->writer, &box->journal, {extractFolder, box->saved}});
    const std::vector<DbxCommit::Outcome> settled = DbxCommit::settle(waiting);
    bool currentSettled = true;
    String text;
    for (size_t i = 0; i < group.size(); ++i) {
        UnsettledMailbox& box = *group[i];
        const int32_t messages = box.messages;
        box.messages = 0;
        box.saved.clear();
        if (settled[i] == DbxCommit::Outcome::Settled)
            continue;
        if (&box == current)
            currentSettled = false;
        writeFailures += messages;
        if (settled[i] == DbxCommit::Outcome::NotFlushed)
            TOVK_Utils::format(text,
                               "The attachments saved from %s, or its undo journal, could not "
                               "be flushed to the disk, so %d of its messages were not cut; "
                               "extraction goes on with the next mailbox.",
                               false, box.path, messages);
        else if (settled[i] == DbxCommit::Outcome::PutBack)
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
    const String said = recoveryReport(result, path);
    report(said);
    if (usable) {
        if (result.outcome == Outcome::Restored)
            view().ask(ViewOwner::ProgressWindow, QuestionText{"Information", &said, "Ok"});
        return true;
    }
    String text;
    TOVK_Utils::format(text, "%s Extraction will halt.", false, said);
    showError(ViewOwner::ProgressWindow, "Error", text);
    return false;
}

// An attachment that lives only in the page cache could vanish with a power loss after
// the message that held it was cut for good: every file a cut depends on reaches the disk
// first, its name in the folder too.
// Started on its way to the disk at once, the file is mostly there when the cut that
// depends on it is settled.
void ExtractThread::keepUntilSettled(const Path& saved) {
    savedForCut_.emplace_back(saved);
    TOVK_Utils::startFlushingFile(saved);
}

bool ExtractThread::savedFilesReachedTheDisk() {
    String folder;
    workPath(folder, view().extractFolder());
    return TOVK_Utils::flushFilesIn(folder, savedForCut_);
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
    const Saving saving{&question, &where};
    return extractFromMessage(root, view().cutAttachments() ? Cutting::Allowed : Cutting::Never,
                              saving, 0);
}

namespace {

std::string_view bytesOf(const Block& block) {
    return std::string_view(reinterpret_cast<const char*>(block.rawPointer()),
                            static_cast<size_t>(block.byteSize()));
}

bool isForwardedMessage(const MimePart& part) {
    return part.mediaType == "message/rfc822" && !part.carriesMessage && part.children.empty();
}

} // namespace

bool ExtractThread::extractFromMessage(MimePart& root, Cutting cutting, const Saving& saving,
                                       int32_t depth) {
    const bool cutOn = view().cutAttachments();
    bool dropped = false;
    Path saved;
    auto visit = [&](MimePart& part) {
        // A part inside a cut part went with it; one inside a named attachment that stays
        // stays too, and was counted with it.
        const bool goneOrCounted = part.isInsideAttachment();
        if (part.isAttachment()) {
            const bool clean = TOVK_Internet::decodeContent(part, decoded_);
            if (!saveOne(part.fileName, part.charset, decoded_, part.body.length(), saving, saved))
                return;
            // The root is never cut: the message would be left empty. A part inside a
            // named forwarded message goes with it or stays with it, never alone.
            if (cutting == Cutting::Allowed && part.parent && !goneOrCounted && clean &&
                part.hasExactExtent() && sameContent(saved, decoded_)) {
                part.drop();
                dropped = true;
                keepUntilSettled(saved);
            } else if (cutOn && !goneOrCounted) {
                ++keptInMessage;
            }
            if (isForwardedMessage(part) && part.transferEncoding != TransferEncoding::Plain)
                extractFromForward(decoded_, saving, depth);
            return;
        }
        if (part.children.empty() && part.transferEncoding == TransferEncoding::Uuencode) {
            extractUnnamedUuencoded(part, cutting, saving, dropped);
            return;
        }
        if (part.isText()) {
            dropped = extractUuencodedInText(part, cutting, saving) || dropped;
            return;
        }
        if (isForwardedMessage(part) && part.transferEncoding != TransferEncoding::Plain) {
            TOVK_Internet::decodeContent(part, decoded_);
            extractFromForward(decoded_, saving, depth);
        }
    };
    visit(root);
    for (auto& part : root.allParts)
        visit(*part);
    return dropped;
}

// A forwarded message sent in base64 (or quoted-printable) is read for its attachments
// as well; they are never cut, since the message holds them only in encoded form.
void ExtractThread::extractFromForward(const Block& content, const Saving& saving, int32_t depth) {
    if (depth >= maxForwardDepth)
        return;
    Block text;
    text.assign(content);
    MimePart forwarded;
    forwarded.parse(text);
    if (!forwarded.isUnparseable())
        extractFromMessage(forwarded, Cutting::Never, saving, depth + 1);
}

// An unnamed part in x-uuencode is named by its begin line, and cut whole like any
// attachment when it decoded cleanly.
void ExtractThread::extractUnnamedUuencoded(MimePart& part, Cutting cutting, const Saving& saving,
                                            bool& dropped) {
    const std::string_view body = bytesOf(part.body);
    const auto blocks = TOVK_Internet::findUuencodedBlocks(body);
    if (blocks.empty())
        return;
    const TOVK_Utils::LightBlock name(blocks.front().name.data(),
                                      static_cast<int32_t>(blocks.front().name.size()));
    const bool clean = TOVK_Internet::decodeContent(part, decoded_);
    Path saved;
    if (!saveOne(name, Block(), decoded_, part.body.length(), saving, saved))
        return;
    if (cutting == Cutting::Allowed && !part.isInsideAttachment() && clean &&
        part.hasExactExtent() && sameContent(saved, decoded_)) {
        part.drop();
        dropped = true;
        keepUntilSettled(saved);
    } else if (view().cutAttachments() && !part.isInsideAttachment()) {
        ++keptInMessage;
    }
}

// Uuencoded files in a text part are attachments named by their begin lines. One that
// decoded cleanly is cut out of a 7bit, 8bit or binary part, the rest of the text
// staying; in a quoted-printable or base64 part it exists only encoded, and stays.
bool ExtractThread::extractUuencodedInText(MimePart& part, Cutting cutting, const Saving& saving) {
    const bool plain = part.transferEncoding == TransferEncoding::Plain;
    Block& decodedText = decodedText_;
    if (!plain) {
        if (part.transferEncoding != TransferEncoding::Base64 &&
            part.transferEncoding != TransferEncoding::QuotedPrintable)
            return false;
        TOVK_Internet::decodeContent(part, decodedText);
    }
    const std::string_view text = plain ? bytesOf(part.body) : bytesOf(decodedText);
    if (text.find("begin ") == std::string_view::npos)
        return false;
    const bool mayCut = cutting == Cutting::Allowed && plain && part.bodyIsExact();
    bool dropped = false;
    Path saved;
    for (const TOVK_Internet::UuencodedBlock& block : TOVK_Internet::findUuencodedBlocks(text)) {
        const TOVK_Utils::LightBlock name(block.name.data(),
                                          static_cast<int32_t>(block.name.size()));
        const bool clean = TOVK_Internet::decodeUuencoded(text, block, decoded_);
        if (!saveOne(name, Block(), decoded_, block.end - block.start, saving, saved))
            continue;
        if (mayCut && clean && sameContent(saved, decoded_) &&
            part.dropFromBody(block.start, block.end)) {
            dropped = true;
            keepUntilSettled(saved);
        } else if (view().cutAttachments() && !part.isInsideAttachment()) {
            ++keptInMessage;
        }
    }
    return dropped;
}

bool ExtractThread::saveOne(const Block& name, const Block& charset, const Block& content,
                            int64_t encodedLength, const Saving& saving, Path& saved) {
    if (!saveAttachment(name, charset, content, *saving.question, saved)) {
        ++saveFailures;
        String text, readable;
        AttachmentName::make(readable, name, charset);
        TOVK_Utils::format(text, "could not save attachment %s of %s as %s", readable.isWide(),
                           readable, *saving.where, saved);
        report(text);
        return false;
    }
    addCount(attachmentCount, ViewCounter::Attachments, 1);
    addMegabytes(encodedBytes, ViewCounter::Encoded, encodedLength);
    addMegabytes(decodedBytes, ViewCounter::Decoded, content.length());
    return true;
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
