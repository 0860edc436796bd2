// Attachment output: one decoded attachment becomes one file directly inside the
// destination folder, never overwriting anything. An existing file with the same bytes
// counts as saved; otherwise the first free name with "_%d." before the extension is
// taken.
#include "engine/ExtractThread.h"

#include "utils/File.h"
#include "utils/FileSystem.h"

#include <cstring>

using TOVK_Utils::Block;
using TOVK_Utils::Path;
using TOVK_Utils::String;

namespace {

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, in any case, with or without an extension: Windows
// opens the device instead of a file, so nothing would be saved where it can be found.
bool isDeviceName(const String& name) {
    String narrow;
    narrow.toNarrow(name);
    const char* text = narrow.c_str();
    size_t base = std::strcspn(text, ".");
    while (base > 0 && text[base - 1] == ' ')
        --base;
    auto lower = [&](size_t i) { return static_cast<char>(text[i] | 0x20); };
    auto is = [&](const char* word) {
        for (size_t i = 0; i < 3; ++i)
            if (lower(i) != word[i])
                return false;
        return true;
    };
    if (base == 3)
        return is("con") || is("prn") || is("aux") || is("nul");
    if (base == 4 && text[3] >= '1' && text[3] <= '9')
        return is("com") || is("lpt");
    return false;
}

bool isAllDots(const String& name) {
    for (int32_t i = 0; i < name.length(); ++i)
        if (name.charAt(i) != '.')
            return false;
    return true;
}

// Whether a name may be tried as it is: joined to the destination folder it must name a
// plain file directly inside that folder.
bool isSafeAsIs(const Block& fileName) {
    const String name(fileName);
    if (name.length() == 0 || isAllDots(name) || isDeviceName(name))
        return false;
    for (int32_t i = 0; i < name.length(); ++i) {
        const uint32_t c = name.charAt(i);
        if (c < 0x20 || c == '/' || c == '\\' || c == ':')
            return false;
    }
    return true;
}

// The cleaned name: the pass's characters and control characters become "_", and a
// device name or a name of dots only gets "_" in front.
void cleanName(String& cleaned, const Block& fileName, const char* replaced) {
    cleaned.assign(fileName);
    for (const char* c = replaced; *c; ++c)
        cleaned.replaceChar(static_cast<uint8_t>(*c), '_', 0);
    for (int32_t i = 0; i < cleaned.length(); ++i)
        if (cleaned.charAt(i) < 0x20)
            cleaned.setCharAt(i, '_');
    if (cleaned.length() == 0 || isAllDots(cleaned) || isDeviceName(cleaned)) {
        String prefixed;
        prefixed.toNarrow(String("_"));
        prefixed.append(cleaned);
        cleaned = prefixed;
    }
}

} // namespace

bool ExtractThread::saveAttachment(const Block& fileName, const Block& content,
                                   const char* replacedCharacters, ViewQuestion& question,
                                   Path& target) {
    String folder;
    workPath(folder, view().extractFolder());
    if (isSafeAsIs(fileName) && target.join(folder, fileName) &&
        writeUniqueFile(target, content, true))
        return true;
    String cleaned;
    cleanName(cleaned, fileName, replacedCharacters);
    if (target.join(folder, cleaned) && writeUniqueFile(target, content, true))
        return true;
    if (showSaveErrors) {
        String message;
        TOVK_Utils::format(message, "Error saving file %s. Skipping attachment.", false, target);
        QuestionText text{"Error", &message, "Ok"};
        text.checkText = "Don't show me again until next extraction";
        question.showModal(ViewOwner::ProgressWindow, text);
        if (question.checkState())
            showSaveErrors = false;
    }
    return false;
}

bool ExtractThread::writeUniqueFile(Path& path, const Block& content, bool skipIdentical) {
    if (!TOVK_Utils::exists(path))
        return TOVK_Utils::writeAll(path, content);
    if (skipIdentical && sameContent(path, content))
        return true;
    String extension, number;
    Path candidate, previous;
    previous.assign(path);
    for (int32_t n = 1; n < INT32_MAX; ++n) {
        candidate.assign(path);
        candidate.extension(extension);
        candidate.removeExtension();
        number.printFormatted("_%d.", n);
        candidate.append(number, false);
        candidate.append(extension, false);
        if (candidate.equals(previous))
            return false; // the name cannot change any more: never loop forever
        if (!TOVK_Utils::exists(candidate)) {
            path.assign(candidate);
            return TOVK_Utils::writeAll(candidate, content);
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
bool ExtractThread::sameContent(const Path& path, const Block& content) {
    const uint32_t attributes = TOVK_Utils::getAttributes(path);
    if (attributes == TOVK_Utils::NoAttributes ||
        (attributes & (TOVK_Utils::AttributeDirectory | TOVK_Utils::AttributeReparsePoint)))
        return false;
    TOVK_Utils::File file;
    if (!file.openForReading(path, false))
        return false;
    if (file.getSize(true) != static_cast<uint64_t>(content.byteSize()))
        return false;
    if (!file.readRest(existing_))
        return false;
    return existing_.byteSize() == content.byteSize() &&
           (content.byteSize() == 0 ||
            std::memcmp(existing_.data(), content.data(), size_t(content.byteSize())) == 0);
}
