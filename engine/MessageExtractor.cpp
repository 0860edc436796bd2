#include "engine/MessageExtractor.h"

#include "engine/AttachmentName.h"
#include "engine/MessageHeaders.h"

#include "formats/CutNote.h"
#include "formats/MailDate.h"
#include "formats/MessageCut.h"
#include "utils/Charset.h"
#include "utils/FileSystem.h"
#include "utils/LightBlock.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

using TOVK_Internet::CutPlan;
using TOVK_Internet::MimePart;
using TOVK_Utils::Block;
using TOVK_Utils::LightBlock;
using TOVK_Utils::String;
using Found = AttachmentFinder::Found;

namespace {

std::string isoDateToday() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    char text[16] = "";
    if (local)
        std::strftime(text, sizeof text, "%Y-%m-%d", local);
    return text;
}

std::string utf8Of(const TOVK_Utils::Block& text) {
    String wide, utf8;
    wide.toWide(text);
    utf8.toNarrow(wide, TOVK_Utils::Utf8CodePage);
    return utf8.length() ? std::string(utf8.c_str(), size_t(utf8.length())) : std::string();
}

// "512 bytes", "12 KB", "3.4 MB", "1.2 GB".
std::string readableSize(int64_t bytes) {
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%lld KB", static_cast<long long>((bytes + 512) / 1024));
    else if (bytes < 1024LL * 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1024.0 * 1024));
    else
        std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / (1024.0 * 1024 * 1024));
    return text;
}

} // namespace

MessageExtractor::MessageExtractor(EngineView& view, JobReport& report, AttachmentWriter& writer,
                                   AttachmentList* list)
    : report_(report), writer_(writer), list_(list), cutOn_(view.cutAttachments()),
      choices_(view.choices()), today_(isoDateToday()) {
    // Growing never gives memory back: the next attachment is likely as large.
    for (Block& buffer : decoded_)
        buffer.setPolicy(Block::Growth::Doubling, Block::Shrink::Never);
}

MessageExtractor::~MessageExtractor() {
    writeWaitingRow();
}

bool MessageExtractor::extract(const MimePart& message, CutPlan& plan, const Block& where) {
    cutFiles_.clear();
    // The finder's texts of the last message go now.
    writeWaitingRow();
    const std::vector<Found>& found = finder_.find(message);
    lookInside_.assign(found.size(), false);
    if (!found.empty())
        readHeaders(message);
    bool cut = false;
    for (size_t i = 0; i < found.size(); ++i) {
        const Found& attachment = found[i];
        // A forwarded message that could not be saved is not read for its own either.
        if (attachment.within >= 0 && !lookInside_[size_t(attachment.within)])
            continue;
        // What its message says is judged before anything is decoded.
        bool clean = false;
        const Block* decoded = nullptr;
        if (!isSkipped(attachment, nullptr))
            decoded = &AttachmentFinder::content(attachment, decoded_[freeBuffer_], clean);
        if (!decoded || isSkipped(attachment, decoded)) {
            lookInside_[i] = true;
            report_.addSkipped();
            continue;
        }
        const Block& content = *decoded;
        startDigest(content);
        if (!save(attachment, content, where)) {
            list(attachment, nullptr, "");
            continue;
        }
        lookInside_[i] = true;
        if (dated_ && writer_.wroteNewFile())
            AttachmentWriter::dateFile(saved_, date_);
        if (!cutOn_) {
            list(attachment, &content, "");
            continue;
        }
        const KeepReason kept = cutOrKeep(attachment, content, clean, plan);
        if (list_) {
            const bool withNote = kept == KeepReason::None && !plan.cuts().back().note.empty();
            const std::string said = kept != KeepReason::None ? std::string("kept: ") + describe(kept)
                                     : withNote                ? "cut with a note"
                                                               : "cut";
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

namespace {

// The extension of the name the file would be saved under, in ASCII lower case.
std::string extensionOf(const Found& found) {
    const LightBlock name(found.name.data(), static_cast<int32_t>(found.name.size()));
    const LightBlock charset(found.charset.data(), static_cast<int32_t>(found.charset.size()));
    String readable, utf8;
    AttachmentName::make(readable, name, charset);
    utf8.toNarrow(readable, TOVK_Utils::Utf8CodePage);
    const std::string_view text(utf8.c_str(), size_t(utf8.length()));
    const size_t dot = text.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    return ExtractChoices::lowerCase(text.substr(dot + 1));
}

} // namespace

bool MessageExtractor::isSkipped(const Found& found, const Block* content) const {
    if (content)
        return content->length() < choices_.minSize;
    if (choices_.skipInlineImages && found.shownInText)
        return true;
    if (choices_.onlyTypes.empty())
        return false;
    const std::string extension = extensionOf(found);
    return std::find(choices_.onlyTypes.begin(), choices_.onlyTypes.end(), extension) ==
           choices_.onlyTypes.end();
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

// The digest of a saved attachment starts before it is written, and its row waits for it
// until the next one starts.
void MessageExtractor::startDigest(const Block& content) {
    if (!list_ || !list_->isOpen())
        return;
    writeWaitingRow();
    hasher_.start(content.rawPointer(), size_t(content.byteSize()));
    if (&content == &decoded_[freeBuffer_])
        freeBuffer_ ^= 1;
}

void MessageExtractor::writeWaitingRow() {
    // Taken on every way: the bytes it was made of are given to the next attachment.
    std::string digest = hasher_.digest();
    if (!rowWaits_)
        return;
    rowWaits_ = false;
    waitingRow_.sha256 = std::move(digest);
    writeRow(waitingRow_);
}

void MessageExtractor::list(const Found& found, const Block* content, const char* cut) {
    if (!list_ || !list_->isOpen())
        return;
    AttachmentList::Row row;
    if (content) {
        String relative;
        writer_.relativeName(saved_, relative);
        row.file = AttachmentList::utf8(relative);
        row.size = content->byteSize();
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
    if (content) {
        waitingRow_ = std::move(row);
        rowWaits_ = true;
    } else {
        writeRow(row);
    }
}

// A row that cannot be written closes the list; the job goes on without it, said once.
void MessageExtractor::writeRow(const AttachmentList::Row& row) {
    if (!list_->isOpen() || list_->add(row))
        return;
    String text;
    TOVK_Utils::format(text, "could not write the list of saved attachments %s", list_->path());
    report_.problem(text);
}

bool MessageExtractor::save(const Found& found, const Block& content, const Block& where) {
    const LightBlock name(found.name.data(), static_cast<int32_t>(found.name.size()));
    const LightBlock charset(found.charset.data(), static_cast<int32_t>(found.charset.size()));
    if (!writer_.save(name, charset, content, saved_)) {
        ++report_.counts().saveFailures;
        String text, readable;
        AttachmentName::make(readable, name, charset);
        text.setWide(readable.isWide());
        TOVK_Utils::format(text, "could not save attachment %s of %s as %s", readable, where,
                           saved_);
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
    if (!markCut(found, content, plan))
        return KeepReason::NotExact;
    return KeepReason::None;
}

bool MessageExtractor::markCut(const Found& found, const Block& content, CutPlan& plan) {
    const bool block = found.kind == ContentKind::UuencodedBlock;
    std::string note;
    if (choices_.leaveNote) {
        const std::string sentence = noteSentence(found, content);
        note = block ? TOVK_Internet::noteLine(*found.part, found.block.start, found.block.end,
                                               sentence)
                     : TOVK_Internet::notePart(*found.part, sentence);
    }
    const bool marked =
        block ? plan.dropFromBody(*found.part, found.block.start, found.block.end, std::move(note))
              : plan.drop(*found.part, std::move(note));
    if (marked && !plan.cuts().back().note.empty())
        ++report_.counts().cutWithNote;
    return marked;
}

std::string MessageExtractor::noteSentence(const Found& found, const Block& content) const {
    const LightBlock name(found.name.data(), static_cast<int32_t>(found.name.size()));
    const LightBlock charset(found.charset.data(), static_cast<int32_t>(found.charset.size()));
    String readable;
    TOVK_Utils::nameFromCharset(readable, name, charset);
    return "The attachment " + utf8Of(readable) + " (" + readableSize(content.length()) +
           ") was saved as " + utf8Of(saved_) + " on " + today_ + " by " TOVK_DISPLAY_NAME ".";
}

bool MessageExtractor::cutText(const MimePart& message, const CutPlan& plan, const Block& text,
                               Block& output, const Block& where) {
    if (TOVK_Internet::spliceOutDropped(message, plan, text, output) &&
        TOVK_Internet::cutKeepsTheRest(message, plan, output))
        return true;
    report_.notWrittenBack(where, "its cut text failed the check");
    return false;
}
