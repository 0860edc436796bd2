#include "engine/MessageExtractor.h"

#include "engine/AttachmentName.h"
#include "engine/MessageHeaders.h"

#include "formats/MailDate.h"
#include "formats/MessageCut.h"
#include "utils/Charset.h"
#include "utils/FileSystem.h"
#include "utils/LightBlock.h"
#include "utils/Sha256.h"

using TOVK_Internet::CutPlan;
using TOVK_Internet::MimePart;
using TOVK_Utils::Block;
using TOVK_Utils::LightBlock;
using TOVK_Utils::String;
using Found = AttachmentFinder::Found;

MessageExtractor::MessageExtractor(EngineView& view, JobReport& report, AttachmentWriter& writer,
                                   AttachmentList* list)
    : report_(report), writer_(writer), list_(list), cutOn_(view.cutAttachments()) {
    // Growing never gives memory back: the next attachment is likely as large.
    decoded_.setPolicy(true, false);
}

bool MessageExtractor::extract(const MimePart& message, CutPlan& plan, const Block& where) {
    cutFiles_.clear();
    const std::vector<Found>& found = finder_.find(message);
    wasSaved_.assign(found.size(), false);
    if (!found.empty())
        readHeaders(message);
    bool cut = false;
    for (size_t i = 0; i < found.size(); ++i) {
        const Found& attachment = found[i];
        // A forwarded message that could not be saved is not read for its own either.
        if (attachment.within >= 0 && !wasSaved_[size_t(attachment.within)])
            continue;
        bool clean = false;
        const Block& content = AttachmentFinder::content(attachment, decoded_, clean);
        if (!save(attachment, content, where)) {
            list(attachment, nullptr, "");
            continue;
        }
        wasSaved_[i] = true;
        if (dated_ && writer_.wroteNewFile())
            AttachmentWriter::dateFile(saved_, date_);
        if (!cutOn_) {
            list(attachment, &content, "");
            continue;
        }
        const KeepReason kept = cutOrKeep(attachment, content, clean, plan);
        if (list_) {
            const std::string said =
                kept == KeepReason::None ? "cut" : std::string("kept: ") + describe(kept);
            list(attachment, &content, said.c_str());
        }
        if (kept == KeepReason::None) {
            cut = true;
            cutFiles_.emplace_back(saved_);
            AttachmentWriter::startFlushing(saved_);
        } else if (kept != KeepReason::InsideAttachment) {
            ++report_.counts().keptInMessage;
        }
    }
    return cut;
}

void MessageExtractor::readHeaders(const MimePart& message) {
    const MessageHeaders headers = MessageHeaders::of(message, list_ ? MessageHeaders::Texts::Decode
                                                                     : MessageHeaders::Texts::Skip);
    dated_ = headers.dated;
    date_ = headers.date;
    if (!dated_ && origin_.file)
        dated_ = TOVK_Utils::modificationTime(*origin_.file, date_);
    if (!list_)
        return;
    isoDate_ = headers.dated ? TOVK_Internet::isoDateTime(headers.date) : std::string();
    from_ = headers.from;
    subject_ = headers.subject;
}

// A row that cannot be written closes the list; the job goes on without it, said once.
void MessageExtractor::list(const Found& found, const Block* content, const char* cut) {
    if (!list_ || !list_->isOpen())
        return;
    AttachmentList::Row row;
    if (content) {
        String relative;
        writer_.relativeName(saved_, relative);
        row.file = AttachmentList::utf8(relative);
        row.size = content->byteSize();
        TOVK_Utils::Sha256 hash;
        hash.add(content->rawPointer(), size_t(content->byteSize()));
        row.sha256 = hash.finishHex();
    }
    String name;
    TOVK_Utils::nameFromCharset(
        name, LightBlock(found.name.data(), static_cast<int32_t>(found.name.size())),
        LightBlock(found.charset.data(), static_cast<int32_t>(found.charset.size())));
    row.name = AttachmentList::utf8(name);
    row.mailbox = origin_.mailbox;
    row.message = origin_.message;
    row.date = isoDate_;
    row.from = from_;
    row.subject = subject_;
    row.cut = cut;
    if (list_->add(row))
        return;
    String text;
    TOVK_Utils::format(text, "could not write the list of saved attachments %s", false,
                       list_->path());
    report_.problem(text);
}

bool MessageExtractor::save(const Found& found, const Block& content, const Block& where) {
    const LightBlock name(found.name.data(), static_cast<int32_t>(found.name.size()));
    const LightBlock charset(found.charset.data(), static_cast<int32_t>(found.charset.size()));
    if (!writer_.save(name, charset, content, saved_)) {
        ++report_.counts().saveFailures;
        String text, readable;
        AttachmentName::make(readable, name, charset);
        TOVK_Utils::format(text, "could not save attachment %s of %s as %s", readable.isWide(),
                           readable, where, saved_);
        report_.problem(text);
        return false;
    }
    report_.addSaved(found.encodedLength, content.length());
    return true;
}

KeepReason MessageExtractor::cutOrKeep(const Found& found, const Block& content, bool clean,
                                       CutPlan& plan) {
    if (!found.mayBeCut())
        return found.keep;
    if (!clean)
        return KeepReason::NotClean;
    if (!writer_.sameContent(saved_, content))
        return KeepReason::NotReadBack;
    if (!markCut(found, plan))
        return KeepReason::NotExact;
    return KeepReason::None;
}

bool MessageExtractor::markCut(const Found& found, CutPlan& plan) {
    if (found.kind == ContentKind::UuencodedBlock)
        return plan.dropFromBody(*found.part, found.block.start, found.block.end);
    return plan.drop(*found.part);
}

bool MessageExtractor::cutText(const MimePart& message, const CutPlan& plan, const Block& text,
                               Block& output, const Block& where) {
    if (TOVK_Internet::spliceOutDropped(message, plan, text, output) &&
        TOVK_Internet::cutKeepsTheRest(message, plan, output))
        return true;
    report_.notWrittenBack(where, "its cut text failed the check");
    return false;
}
