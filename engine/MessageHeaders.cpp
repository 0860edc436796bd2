#include "engine/MessageHeaders.h"

#include "engine/AttachmentList.h"
#include "formats/HeaderValue.h"
#include "formats/MailDate.h"
#include "utils/Charset.h"
#include "utils/LightBlock.h"
#include "utils/String.h"

#include <string_view>

using TOVK_Internet::MimePart;
using TOVK_Utils::LightBlock;
using TOVK_Utils::String;

namespace {

std::string_view viewOf(const TOVK_Utils::Block& text) {
    return {reinterpret_cast<const char*>(text.rawPointer()), size_t(text.byteSize())};
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Encoded words undone, then the bytes read in their charset (raw 8-bit text as a name's
// would be: UTF-8 when it is valid UTF-8, else the usual Western code page).
std::string decodedText(std::string_view value) {
    std::string bytes, charset;
    TOVK_Internet::HeaderValue::decodeEncodedWords(trimmed(value), bytes, charset);
    String text;
    TOVK_Utils::nameFromCharset(text, LightBlock(bytes.data(), int32_t(bytes.size())),
                                LightBlock(charset.data(), int32_t(charset.size())));
    return AttachmentList::utf8(text);
}

} // namespace

MessageHeaders MessageHeaders::of(const MimePart& message, Texts texts) {
    MessageHeaders found;
    bool haveFrom = false, haveSubject = false, haveDate = false;
    for (int32_t i = 0; i < message.headers.length(); ++i) {
        const TOVK_Internet::MIMEHeader& header = message.headers[i];
        // The first of each counts, as mail programs show it.
        if (!haveDate && header.name.equalsNoCase("date")) {
            haveDate = true;
            found.dated = TOVK_Internet::parseMailDate(viewOf(header.value), found.date);
        } else if (texts == Texts::Decode && !haveFrom && header.name.equalsNoCase("from")) {
            haveFrom = true;
            found.from = decodedText(viewOf(header.value));
        } else if (texts == Texts::Decode && !haveSubject && header.name.equalsNoCase("subject")) {
            haveSubject = true;
            found.subject = decodedText(viewOf(header.value));
        }
    }
    return found;
}
