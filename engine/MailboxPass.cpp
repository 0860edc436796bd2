#include "engine/MailboxPass.h"

#include "engine/AttachmentList.h"
#include "engine/JobPaths.h"

#include "utils/FileSystem.h"

using TOVK_Internet::DbxMailbox;
using TOVK_Internet::MimePart;
using TOVK_Utils::Block;
using TOVK_Utils::Path;
using TOVK_Utils::String;

MailboxPass::MailboxPass(PassContext& context, CutBatch& batch, Decisions& decisions,
                         const Block& name)
    : context_(context), batch_(batch), decisions_(decisions), name_(name) {
    mailboxPath(path_, context.view.outlookExpressStoreRoot(), name);
    // Its journal and its lock belong beside the file itself, not beside a link to it.
    TOVK_Utils::followLinks(path_);
}

MailboxPass::Counted MailboxPass::count() {
    DbxMailbox mailbox;
    const Opened opened = open(mailbox);
    const int32_t messages =
        opened == Opened::Ready ? static_cast<int32_t>(mailbox.messageOffsets.size()) : 0;
    return {opened, messages};
} // the mailbox closes here, whatever became of it

MailboxPass::Fate MailboxPass::run() {
    EngineView& view = context_.view;
    // Counted before it is opened: a mailbox that fails to open still counts.
    context_.report.addMailbox();
    box_ = std::make_unique<CutBatch::UnsettledMailbox>();
    if (open(box_->mailbox) != Opened::Ready)
        return Fate::NotOpened;
    box_->path.assign(path_);
    count_ = static_cast<int32_t>(box_->mailbox.messageOffsets.size());
    reportUncut();
    // A carved mailbox is only read: its chains may be deleted messages or cut leftovers.
    cut_ = view.cutAttachments() && !cutRefused() && !box_->mailbox.wasCarved() &&
           batch_.prepare(*box_, path_);
    const Fate fate = readMessages();
    finish(fate);
    return fate;
}

MailboxPass::Opened MailboxPass::open(DbxMailbox& mailbox) {
    EngineView& view = context_.view;
    String text;
    TOVK_Utils::format(text, "Opening mailbox: %s.dbx", name_);
    view.postStatusText(text);
    const Recoveries::Verdict recovered = context_.recoveries.recover(path_, context_.report);
    if (recovered == Recoveries::Verdict::LeftAlone)
        return Opened::LeftAlone; // said why; the job goes on with the others
    if (recovered == Recoveries::Verdict::NotCut)
        uncut_ = Uncut::Recovery;
    // Its journal would lie beside one of its names only: after a crash, a run that reaches
    // it through another would find nothing to put back.
    else if (view.cutAttachments() && TOVK_Utils::hardLinkCount(path_) > 1)
        uncut_ = Uncut::HardLinks;
    else if (view.cutAttachments() && TOVK_Utils::isReadOnly(path_))
        uncut_ = Uncut::ReadOnly;
    if (!openFile(mailbox))
        return Opened::Halt;
    TOVK_Utils::format(text, "Scanning mailbox: %s.dbx", name_);
    view.postStatusText(text);
    const bool indexRead = mailbox.scan();
    const bool cut = view.cutAttachments();
    if (indexRead && (cut || view.rescue() != Rescue::Always))
        return Opened::Ready;
    if (decided(Opened::LeftAlone))
        return Opened::LeftAlone; // said so in the counting pass already
    if (cut)
        return leaveDamaged();
    return rescue(mailbox);
}

// Read sharing only while cutting, so that no other program writes the mailbox while
// its messages are being rewritten; without cutting it is only read.
bool MailboxPass::openFile(DbxMailbox& mailbox) {
    const bool write = context_.view.cutAttachments() && !cutRefused();
    const auto access = write ? DbxMailbox::Access::ReadWrite : DbxMailbox::Access::Read;
    DbxMailbox::Open opened = mailbox.open(path_, access);
    // One that only refuses writing is read, and keeps its attachments.
    if (write && opened == DbxMailbox::Open::NotAMailbox &&
        mailbox.open(path_, DbxMailbox::Access::Read) == DbxMailbox::Open::Opened) {
        uncut_ = Uncut::ReadOnly;
        opened = DbxMailbox::Open::Opened;
    }
    if (opened == DbxMailbox::Open::Opened)
        return true;
    String text;
    if (opened == DbxMailbox::Open::InUse)
        TOVK_Utils::format(text,
                           "%s is in use by another program. Close it and try again. "
                           "Extraction will halt.",
                           path_);
    else
        TOVK_Utils::format(text, "%s is not an Outlook Express mailbox. Extraction will halt.",
                           path_);
    context_.report.showError(ViewOwner::ProgressWindow, text);
    return false;
}

// Said once, in the extraction: the counting pass found the same.
void MailboxPass::reportUncut() {
    const char* why = nullptr;
    switch (uncut_) {
    case Uncut::No:
    case Uncut::Recovery: // recovery said so itself
        return;
    case Uncut::HardLinks:
        why = "the file has several hard links, and a cut made through one name could not be "
              "undone through another";
        break;
    case Uncut::ReadOnly:
        why = "it is read-only";
        break;
    }
    String text;
    TOVK_Utils::format(text, "%s is only read, and its attachments stay in it: %s", path_,
                       String(why));
    context_.report.problem(text);
}

// Rescue never writes, and carved chains could not be cut safely anyway: the mailbox
// stays as it is for a later run without cutting.
MailboxPass::Opened MailboxPass::leaveDamaged() {
    JobReport& report = context_.report;
    ++report.counts().damagedLeft;
    decisions_.push_back({String(path_), Opened::LeftAlone, {}, 0});
    String text;
    TOVK_Utils::format(text,
                       "%s is corrupt: its message index cannot be read. It is left as it "
                       "is; extraction goes on with the next mailbox. Extracting without "
                       "cutting can recover its attachments.",
                       path_);
    report.problem(text);
    report.showError(ViewOwner::ProgressWindow, text);
    return Opened::LeftAlone;
}

// Carves the mailbox, or takes this job's earlier carve of it. Ready or Halt.
MailboxPass::Opened MailboxPass::rescue(DbxMailbox& mailbox) {
    EngineView& view = context_.view;
    JobReport& report = context_.report;
    const Decision* earlier = nullptr;
    if (decided(Opened::Ready, &earlier)) {
        mailbox.takeCarved(earlier->offsets, earlier->indexed);
        return Opened::Ready;
    }
    String text;
    const bool indexRead = mailbox.indexWasRead();
    if (!indexRead && view.rescue() == Rescue::Ask) {
        TOVK_Utils::format(text,
                           "%s is corrupt: its message index cannot be read. Its messages may "
                           "still be in the file, and their attachments can be recovered from "
                           "it without changing it. Recover attachments, or halt the extraction "
                           "of all mailboxes?",
                           path_);
        if (view.ask(ViewOwner::ProgressWindow,
                     QuestionText{"Error", &text, "Recover attachments", "Halt extraction"}) != 1)
            return Opened::Halt;
    }
    TOVK_Utils::format(text, "Recovering the messages of %s.dbx", name_);
    view.postStatusText(text);
    if (!mailbox.carve()) {
        TOVK_Utils::format(text, "%s could not be read. Extraction of all mailboxes will halt.",
                           path_);
        report.problem(text);
        report.showError(ViewOwner::ProgressWindow, text);
        return Opened::Halt;
    }
    decisions_.push_back(
        {String(path_), Opened::Ready, mailbox.messageOffsets, mailbox.indexedMessages()});
    if (!indexRead) {
        TOVK_Utils::format(text,
                           mailbox.indexLostOverBlocks()
                               ? "%s is corrupt: its message index names no message, but the "
                                 "file holds messages. They were recovered from its data "
                                 "blocks: %d found."
                               : "%s is corrupt: its message index cannot be read. Its messages "
                                 "were recovered from its data blocks: %d found.",
                           path_, int32_t(mailbox.messageOffsets.size()));
        report.problem(text);
    }
    return Opened::Ready;
}

bool MailboxPass::decided(Opened opened, const Decision** decision) const {
    for (const Decision& d : decisions_) {
        if (d.path.equals(path_) && d.opened == opened) {
            if (decision)
                *decision = &d;
            return true;
        }
    }
    return false;
}

MailboxPass::Fate MailboxPass::readMessages() {
    JobControl& control = context_.control;
    const std::vector<uint32_t>& offsets = box_->mailbox.messageOffsets;
    for (size_t i = 0; i < offsets.size(); ++i) {
        control.poll();
        if (control.stopRequested())
            return Fate::Stopped;
        // Its cut messages are written when it is settled, with other mailboxes', and
        // until then a crash puts them back as they were.
        if (box_->messages > 0 && batch_.isFull() && !batch_.settle(box_.get()))
            return Fate::SettleFailed;
        number_ = static_cast<int32_t>(i) + 1;
        switch (take(offsets[i])) {
        case Taken::Done:
            break;
        case Taken::FileUnreadable:
            return Fate::ReadFailed;
        }
    }
    return Fate::Read;
}

void MailboxPass::postStatus() {
    const DbxMailbox& mailbox = box_->mailbox;
    JobCounts& counts = context_.report.counts();
    TOVK_Utils::format(where_, "message %d of %d of %s.dbx", number_, count_, name_);
    String text;
    if (mailbox.wasCarved() && size_t(number_ - 1) >= mailbox.indexedMessages()) {
        if (mailbox.indexWasRead())
            ++counts.notInIndex;
        else
            ++counts.recovered;
        TOVK_Utils::format(text,
                           "Recovering message %d of %d of %s.dbx (%d recovered, %d not in "
                           "the index, %d broken off)",
                           number_, count_, name_, counts.recovered, counts.notInIndex,
                           counts.brokenOff);
    } else {
        TOVK_Utils::format(text, "Processing message %d of %d of %s.dbx", number_, count_, name_);
    }
    context_.view.postStatusText(text);
}

MailboxPass::Taken MailboxPass::take(uint32_t offset) {
    JobReport& report = context_.report;
    MessageBuffers& buffers = context_.buffers;
    postStatus();
    using Read = DbxMailbox::Read;
    const Read read = box_->mailbox.readMessage(offset, buffers.message);
    report.addEmail();
    String text;
    if (read == Read::Unreadable) {
        ++report.counts().unreadableMessages;
        TOVK_Utils::format(text,
                           "Reading %s failed at message %d of %d: the file could not be "
                           "read. Its other messages are skipped; extraction goes on with "
                           "the next mailbox.",
                           path_, number_, count_);
        report.problem(text);
        report.showError(ViewOwner::ProgressWindow, text);
        return Taken::FileUnreadable;
    }
    if (read == Read::ChainDamaged && !box_->mailbox.wasCarved()) {
        ++report.counts().unreadableMessages; // nothing is taken from a message not read whole
        TOVK_Utils::format(text, "could not read %s: its chain of blocks is damaged", where_);
        report.problem(text);
        return Taken::Done;
    }
    if (read == Read::ChainDamaged) {
        // Rescue gives what a broken chain still holds; it is never written back.
        ++report.counts().brokenOff;
        TOVK_Utils::format(text,
                           "%s breaks off: its chain of blocks is damaged; what it holds "
                           "is extracted",
                           where_);
        report.problem(text);
    }
    MimePart root;
    root.parse(buffers.message);
    TOVK_Internet::CutPlan plan(root);
    MessageExtractor& extractor = context_.extractor;
    extractor.setOrigin({AttachmentList::utf8(name_), std::to_string(number_)});
    if (!extractor.extract(root, plan, where_) || !cut_ ||
        !extractor.cutText(root, plan, buffers.message, buffers.rewrite, where_))
        return Taken::Done;
    return writeBack(offset);
}

// A message is only staged here; it is written when its batch is settled (CutBatch).
MailboxPass::Taken MailboxPass::writeBack(uint32_t offset) {
    JobReport& report = context_.report;
    const Block& rewrite = context_.buffers.rewrite;
    using Staging = TOVK_Internet::DbxMailboxWriter::Staging;
    switch (box_->writer.stage(offset, rewrite)) {
    case Staging::Staged:
        batch_.staged(*box_, rewrite.byteSize(), context_.extractor.cutFiles());
        break;
    case Staging::Refused:
        report.notWrittenBack(where_, "its blocks are not its own alone, or it does not fit them");
        break;
    case Staging::ReadFailed:
        report.notWrittenBack(where_, "a write error; its original text was put back");
        break;
    }
    return Taken::Done;
}

void MailboxPass::finish(Fate fate) {
    switch (fate) {
    case Fate::Read:
    case Fate::Stopped:
    case Fate::ReadFailed:
        if (box_->messages > 0)
            batch_.keep(std::move(box_));
        if (batch_.isFull())
            batch_.settle();
        context_.view.setProgress(context_.report.counts().emails);
        return;
    case Fate::NotOpened:
    case Fate::SettleFailed:
        return; // the mailbox closes as it is
    }
}
