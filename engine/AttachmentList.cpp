#include "engine/AttachmentList.h"

#include "utils/FileSystem.h"
#include "utils/String.h"

#include <cstring>

using TOVK_Utils::Block;
using TOVK_Utils::Path;
using TOVK_Utils::String;

namespace {

constexpr unsigned utf8CodePage = 65001;
constexpr const char* heading = "file,size,sha256,name,mailbox,message,date,from,subject,cut";

} // namespace

AttachmentList::~AttachmentList() {
    if (file_.isOpen())
        file_.close();
}

bool AttachmentList::open(const Path& path, Start start) {
    path_.assign(path);
    if (start == Start::FreeName) {
        if (!createFree(path))
            return false;
    } else if (!file_.openForReading(path, TOVK_Utils::File::Access::ReadWrite)) {
        if (TOVK_Utils::exists(path) || !file_.openForWriting(path, TOVK_Utils::IfExists::Fail))
            return false;
    }
    if (file_.getSize(TOVK_Utils::File::Refresh::Always) > 0)
        return file_.seek(0, TOVK_Utils::File::FromEnd);
    return write("\xEF\xBB\xBF" + std::string(heading) + "\r\n");
}

// Made, never opened, so that a list of another job (or any other file) is never
// written into; a name taken meanwhile is passed over like one that was there.
bool AttachmentList::createFree(const Path& wanted) {
    String extension, number;
    for (int32_t n = 0; n < 100000; ++n) {
        if (n > 0) {
            path_.assign(wanted);
            path_.extension(extension);
            path_.removeExtension();
            number.printFormatted(extension.length() > 0 ? "_%d." : "_%d", n);
            path_.append(number, TOVK_Utils::Path::Separator::None);
            path_.append(extension, TOVK_Utils::Path::Separator::None);
        }
        if (file_.openForWriting(path_, TOVK_Utils::IfExists::Fail))
            return true;
        if (!TOVK_Utils::exists(path_))
            return false; // refused for another reason: a further name would be too
    }
    return false;
}

bool AttachmentList::write(const std::string& bytes) {
    if (!file_.isOpen())
        return false;
    if (file_.write(bytes.data(), static_cast<uint32_t>(bytes.size())))
        return true;
    failed_ = true;
    file_.close();
    return false;
}

bool AttachmentList::add(const Row& row) {
    std::string line;
    appendField(line, row.file);
    line += ',';
    if (row.size >= 0)
        line += std::to_string(row.size);
    for (const std::string* field : {&row.sha256, &row.name, &row.mailbox, &row.message, &row.date,
                                     &row.from, &row.subject, &row.cut}) {
        line += ',';
        appendField(line, *field);
    }
    line += "\r\n";
    return write(line);
}

bool AttachmentList::finish() {
    if (!file_.isOpen())
        return !failed_;
    const bool flushed = file_.flush();
    return file_.close() == 1 && flushed && !failed_;
}

void AttachmentList::appendField(std::string& line, const std::string& field) {
    // A spreadsheet takes a cell that starts so for a formula, which a sender could write
    // into a name or a subject to be run on the user's machine: such a text is shown as
    // text, behind an apostrophe.
    const bool formulaLike = !field.empty() && std::strchr("=+-@\t\r", field[0]);
    const std::string text = formulaLike ? "'" + field : field;
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        line += text;
        return;
    }
    line += '"';
    for (char c : text) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

std::string AttachmentList::utf8(const Block& text) {
    String wide, narrow;
    wide.toWide(text);
    narrow.toNarrow(wide, utf8CodePage);
    return std::string(reinterpret_cast<const char*>(narrow.rawPointer()),
                       size_t(narrow.byteSize()));
}
