#include "engine/MessageFolderPass.h"

#include "engine/AttachmentList.h"

#include "utils/DirectorySearch.h"
#include "utils/File.h"
#include "utils/FileSystem.h"

#include <cstring>

using TOVK_Internet::MimePart;
using TOVK_Utils::Block;
using TOVK_Utils::Path;
using TOVK_Utils::String;

namespace {

enum class Replacing { Replaced, Failed, ChangedMeanwhile };

// Only names that end in ".eml" count: a short 8.3 alias can make "*.eml" match
// "note.emlx", and such a file is not a message of this folder.
bool isMessageFileName(const String& name) {
    String narrow;
    narrow.toNarrow(name);
    const int32_t n = narrow.length();
    return n >= 4 && narrow.startsWithAtNoCase(String(".eml"), n - 4);
}

// The message file is replaced only once its new text is complete on the disk: written
// beside it, flushed, then renamed over it, and only while it is still the file that was
// read (read): a change another program made meanwhile is never overwritten. On any
// failure, or such a change, the original stays as it now is.
Replacing replaceFile(const Path& path, const Block& text, const TOVK_Utils::FileState& read) {
    Replacing outcome = Replacing::Failed;
    const bool replaced = TOVK_Utils::replaceBeside(path, [&](const Path& temporary) {
        TOVK_Utils::File out;
        // Never replaces a file that is there; private until it takes the original's mode.
        if (!out.openForWriting(temporary, TOVK_Utils::IfExists::Fail,
                                TOVK_Utils::Readers::OwnerOnly))
            return false;
        const bool written = out.write(text) && out.flush();
        const bool closed = out.close() == 1;
        // The last moment before the rename at which the file can be looked at.
        if (closed && written && TOVK_Utils::fileState(path) == read)
            return true;
        if (closed && written)
            outcome = Replacing::ChangedMeanwhile;
        TOVK_Utils::removeFile(temporary);
        return false;
    });
    return replaced ? Replacing::Replaced : outcome;
}

// What an earlier run, killed while it replaced the message, left beside it: a file under
// one of the names replaceBeside gives its temporary files that holds the start of the
// same cut text. Anything else under such a name may be another program's, and stays.
void removeLeftovers(const Path& message, const Block& cutText) {
    String suffix;
    Path leftover;
    Block bytes;
    for (int n = 0; n < 100; ++n) {
        suffix.printFormatted(".klovin-new%d", n);
        leftover.assign(message);
        leftover.append(suffix, Path::Separator::None);
        if (TOVK_Utils::getAttributes(leftover) != TOVK_Utils::AttributeNormal ||
            !TOVK_Utils::readAll(leftover, bytes) || bytes.byteSize() > cutText.byteSize() ||
            (bytes.byteSize() > 0 &&
             std::memcmp(bytes.rawPointer(), cutText.rawPointer(), bytes.byteSize()) != 0))
            continue;
        TOVK_Utils::removeFile(leftover);
    }
}

// The folder's message files, in the platform's order.
std::vector<String> messageFileNames(const Block& folder) {
    std::vector<String> names;
    Path pattern;
    pattern.join(folder, String("*.eml"));
    TOVK_Utils::DirectorySearch search;
    const TOVK_Utils::Width nameWidth =
        pattern.isWide() ? TOVK_Utils::Width::Wide : TOVK_Utils::Width::Narrow;
    for (bool found = search.first(pattern, nameWidth); found; found = search.next())
        if (!search.isDirectory() && isMessageFileName(search.name()))
            names.emplace_back(search.name());
    return names;
}

} // namespace

int32_t MessageFolderPass::countFiles(const Block& folder) {
    return static_cast<int32_t>(messageFileNames(folder).size());
}

MessageFolderPass::Fate MessageFolderPass::run() {
    JobControl& control = context_.control;
    // Each folder counts as one mailbox.
    context_.report.addMailbox();
    // The names are taken first, once: rewriting files while the folder is being listed
    // could make the listing deliver a file twice or skip one.
    const std::vector<String> names = messageFileNames(folder_);
    const int32_t count = static_cast<int32_t>(names.size());
    int32_t number = 1;
    for (const String& name : names) {
        control.poll();
        if (control.stopRequested())
            return Fate::Stopped;
        take(name, number++, count);
    }
    return Fate::Read;
}

void MessageFolderPass::take(const String& name, int32_t number, int32_t count) {
    JobReport& report = context_.report;
    Block& message = context_.buffers.message;
    String text;
    TOVK_Utils::format(text, "Processing message %d of %d of %s", number, count, folder_);
    context_.view.postStatusText(text);
    path_.join(folder_, name);
    read_ = TOVK_Utils::fileState(path_);
    TOVK_Utils::File file;
    const bool complete = file.openForReading(path_) && file.readRest(message);
    file.close();
    report.addEmail();
    if (!complete) {
        ++report.counts().unreadableMessages; // taken for a message without attachments
        TOVK_Utils::format(text, "could not read %s", path_);
        report.problem(text);
        return;
    }
    MimePart root;
    root.parse(message);
    TOVK_Internet::CutPlan plan(root);
    context_.extractor.setOrigin(
        {AttachmentList::utf8(folder_), AttachmentList::utf8(name), &path_});
    if (context_.extractor.extract(root, plan, path_) && context_.view.cutAttachments())
        cut(root, plan);
}

void MessageFolderPass::cut(const MimePart& root, const TOVK_Internet::CutPlan& plan) {
    JobReport& report = context_.report;
    // Writing a copy back in place is the only way to keep every link, and it could not
    // be undone after a crash: such a file keeps its attachments.
    if (TOVK_Utils::hardLinkCount(path_) > 1) {
        report.notWrittenBack(path_, "the file has several hard links");
        return;
    }
    // The user's own mark that the message must not change.
    if (TOVK_Utils::isReadOnly(path_)) {
        report.notWrittenBack(path_, "the file is read-only");
        return;
    }
    // A message file is replaced at once: its attachments reach the disk first.
    if (!context_.writer.flushToDisk(context_.extractor.cutFiles())) {
        report.notWrittenBack(path_, "its attachments could not be flushed to the disk");
        return;
    }
    MessageBuffers& buffers = context_.buffers;
    if (!context_.extractor.cutText(root, plan, buffers.message, buffers.rewrite, path_))
        return;
    removeLeftovers(path_, buffers.rewrite);
    switch (replaceFile(path_, buffers.rewrite, read_)) {
    case Replacing::Replaced:
        return;
    case Replacing::Failed:
        report.notWrittenBack(path_, "a write error");
        return;
    case Replacing::ChangedMeanwhile:
        // Its attachments stay saved: they are what the message held when it was read.
        report.notWrittenBack(path_, "it was changed while it was being cut");
        return;
    }
}
