#include "engine/AttachmentWriter.h"

#include "engine/AttachmentName.h"
#include "engine/JobPaths.h"

#include "utils/File.h"
#include "utils/FileSystem.h"

#include <algorithm>
#include <cstring>

using TOVK_Utils::Block;
using TOVK_Utils::Path;
using TOVK_Utils::String;

AttachmentWriter::AttachmentWriter(EngineView& view) : question_(view.newQuestion()) {
    workPath(folder_, view.extractFolder());
    target_.assign(folder_);
    // Growing never gives memory back: the next file compared is likely as large.
    existing_.setPolicy(Block::Growth::Doubling, Block::Shrink::Never);
}

bool AttachmentWriter::save(const Block& fileName, const Block& charset, const Block& content,
                            Path& target) {
    wroteNew_ = false;
    String name;
    AttachmentName::make(name, fileName, charset);
    // Both texts are in the system's form of paths, so their lengths are in its units.
    const TOVK_Utils::PathRules& rules = TOVK_Utils::hostPathRules;
    const int32_t room = std::min(rules.longestName, rules.longestPath - target_.length() - 1);
    const bool fits = AttachmentName::shorten(name, room);
    if (target.join(target_, name) && fits && makeTarget() &&
        writeUniqueFile(target, content, Identical::AlreadySaved))
        return true;
    if (showSaveErrors_)
        reportFailure(target);
    return false;
}

void AttachmentWriter::enterFolder(const String& relative) {
    if (relative.length() == 0) {
        target_.assign(folder_);
        targetMade_ = true;
        return;
    }
    Path below;
    below.join(folder_, relative);
    target_.assign(below);
    targetMade_ = false;
}

// A mailbox without attachments leaves no empty folder behind.
bool AttachmentWriter::makeTarget() {
    if (!targetMade_) {
        Path folder;
        folder.assign(target_);
        targetMade_ = TOVK_Utils::createDirectories(folder, Path::LastComponent::Folder);
    }
    return targetMade_;
}

void AttachmentWriter::dateFile(const Path& saved, int64_t secondsSince1970) {
    TOVK_Utils::setModificationTime(saved, secondsSince1970);
}

void AttachmentWriter::relativeName(const Path& saved, String& relative) const {
    const int32_t n = folder_.length();
    const uint32_t last = n > 0 ? folder_.charAt(n - 1) : 0;
    const int32_t start = (last == '/' || last == '\\') ? n : n + 1;
    String text;
    if (start <= saved.length())
        saved.tail(text, start);
    relative.takeFrom(text);
}

void AttachmentWriter::reportFailure(const Path& target) {
    String message;
    message.setWide(target.isWide());
    TOVK_Utils::format(message, "Error saving file %s. Skipping attachment.", target);
    QuestionText text{"Error", &message, "Ok"};
    text.checkText = "Don't show me again until next extraction";
    question_->showModal(ViewOwner::ProgressWindow, text);
    if (question_->checkState())
        showSaveErrors_ = false;
}

bool AttachmentWriter::writeUniqueFile(Path& path, const Block& content, Identical identical) {
    const bool skipIdentical = identical == Identical::AlreadySaved;
    if (!TOVK_Utils::exists(path))
        return wroteNew_ = TOVK_Utils::writeAll(path, content);
    if (skipIdentical && sameContent(path, content))
        return true;
    String extension, number;
    Path candidate, previous;
    previous.assign(path);
    for (int32_t n = 1; n < INT32_MAX; ++n) {
        candidate.assign(path);
        candidate.extension(extension);
        candidate.removeExtension();
        // A name without an extension gets no dot after its number: Windows would drop
        // a trailing dot, and the name would not be the one checked.
        number.printFormatted(extension.length() > 0 ? "_%d." : "_%d", n);
        candidate.append(number, Path::Separator::None);
        candidate.append(extension, Path::Separator::None);
        if (candidate.equals(previous))
            return false; // the name cannot change any more: never loop forever
        if (!TOVK_Utils::exists(candidate)) {
            path.assign(candidate);
            return wroteNew_ = TOVK_Utils::writeAll(candidate, content);
        }
        if (skipIdentical && sameContent(candidate, content)) {
            path.assign(candidate);
            return true;
        }
        previous.assign(candidate);
    }
    return false;
}

// The sizes are compared first, as 64-bit numbers, so a huge file of the same name is
// never read; only a plain file can hold the attachment.
bool AttachmentWriter::sameContent(const Path& path, const Block& content) {
    const uint32_t attributes = TOVK_Utils::getAttributes(path);
    if (attributes == TOVK_Utils::NoAttributes ||
        (attributes & (TOVK_Utils::AttributeDirectory | TOVK_Utils::AttributeReparsePoint)))
        return false;
    TOVK_Utils::File file;
    if (!file.openForReading(path))
        return false;
    if (file.getSize(TOVK_Utils::File::Refresh::Always) !=
        static_cast<uint64_t>(content.byteSize()))
        return false;
    if (!file.readRest(existing_))
        return false;
    return existing_.byteSize() == content.byteSize() &&
           (content.byteSize() == 0 ||
            std::memcmp(existing_.data(), content.data(), size_t(content.byteSize())) == 0);
}

void AttachmentWriter::startFlushing(const Path& saved) {
    TOVK_Utils::startFlushingFile(saved);
}

bool AttachmentWriter::flushToDisk(const std::vector<String>& files) {
    return TOVK_Utils::flushFilesIn(folder_, files);
}
