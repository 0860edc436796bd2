#include "engine/MessageFolderPass.h"

#include "engine/AttachmentList.h"

#include "utils/DirectorySearch.h"
#include "utils/File.h"
#include "utils/FileSystem.h"

using TOVK_Internet::MimePart;
using TOVK_Utils::Block;
using TOVK_Utils::Path;
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
    TOVK_Utils::format(text, "Processing message %d of %d of %s", false, number, count, folder_);
    context_.view.postStatusText(text);
    path_.join(folder_, name);
    TOVK_Utils::File file;
    const bool complete = file.openForReading(path_, false) && file.readRest(message);
    file.close();
    report.addEmail();
    if (!complete) {
        ++report.counts().unreadableMessages; // taken for a message without attachments
        TOVK_Utils::format(text, "could not read %s", false, path_);
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
    // A message file is replaced at once: its attachments reach the disk first.
    if (!context_.writer.flushToDisk(context_.extractor.cutFiles())) {
        report.notWrittenBack(path_, "its attachments could not be flushed to the disk");
        return;
    }
    MessageBuffers& buffers = context_.buffers;
    if (context_.extractor.cutText(root, plan, buffers.message, buffers.rewrite, path_) &&
        !replaceFile(path_, buffers.rewrite))
        report.notWrittenBack(path_, "a write error");
}
