#include "formats/HeaderValue.h"

#include "formats/Decoding.h"

#include <algorithm>

namespace TOVK_Internet {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char lowered(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = lowered(c);
    return out;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Strict: a word with anything but the alphabet and final padding is not a B word.
bool decodeB(std::string_view text, std::string& out) {
    uint32_t bits = 0;
    int count = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] != '='; ++i) {
        const int v = base64Value(text[i]);
        if (v < 0)
            return false;
        bits = (bits << 6) | static_cast<uint32_t>(v);
        if (++count == 4) {
            out.push_back(static_cast<char>(bits >> 16));
            out.push_back(static_cast<char>(bits >> 8));
            out.push_back(static_cast<char>(bits));
            bits = 0;
            count = 0;
        }
    }
    for (; i < text.size(); ++i)
        if (text[i] != '=')
            return false;
    if (count == 1)
        return false;
    if (count == 2)
        out.push_back(static_cast<char>(bits >> 4));
    if (count == 3) {
        out.push_back(static_cast<char>(bits >> 10));
        out.push_back(static_cast<char>(bits >> 2));
    }
    return true;
}

// Lenient: an "=" without two hex digits stays as it is.
void decodeQ(std::string_view text, std::string& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out.push_back(' ');
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
}

// "%XX" is a byte; a "%" without two hex digits stays as it is.
void percentDecode(std::string_view text, std::string& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
}

// One encoded word at `at` ("=?" found there): its end (past "?=") and its bytes, or
// npos when it is malformed.
size_t encodedWord(std::string_view text, size_t at, std::string& bytes, std::string& charset) {
    const size_t charsetEnd = text.find('?', at + 2);
    if (charsetEnd == std::string_view::npos || charsetEnd == at + 2 ||
        charsetEnd + 2 >= text.size() || text[charsetEnd + 2] != '?')
        return std::string_view::npos;
    const std::string_view label = text.substr(at + 2, charsetEnd - at - 2);
    if (std::any_of(label.begin(), label.end(), [](char c) { return isBlank(c) || c == '='; }))
        return std::string_view::npos;
    const char letter = lowered(text[charsetEnd + 1]);
    if (letter != 'b' && letter != 'q')
        return std::string_view::npos;
    // The text is searched from after the third "?": a Q text may itself begin with "=".
    const size_t textStart = charsetEnd + 3;
    const size_t end = text.find("?=", textStart);
    if (end == std::string_view::npos)
        return std::string_view::npos;
    const std::string_view encoded = text.substr(textStart, end - textStart);
    bytes.clear();
    if (letter == 'b') {
        if (!decodeB(encoded, bytes))
            return std::string_view::npos;
    } else {
        decodeQ(encoded, bytes);
    }
    charset.assign(label.substr(0, label.find('*'))); // RFC 2231 adds "*language"
    return end + 2;
}

bool allBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isBlank);
}

bool isTokenCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '*';
}

// Whether a parameter's name and its "=" begin at `at` (just after a ";").
bool parameterNameAt(std::string_view text, size_t at) {
    while (at < text.size() && isBlank(text[at]))
        ++at;
    const size_t name = at;
    while (at < text.size() && isTokenCharacter(text[at]))
        ++at;
    if (at == name)
        return false;
    while (at < text.size() && isBlank(text[at]))
        ++at;
    return at < text.size() && text[at] == '=';
}

// The first ";" in [from, to) that begins another parameter, or npos.
size_t parameterStartIn(std::string_view text, size_t from, size_t to) {
    for (size_t at = text.find(';', from); at < to; at = text.find(';', at + 1))
        if (parameterNameAt(text, at + 1))
            return at;
    return std::string_view::npos;
}

// Whether [from, to) ends with "; name=": a closing quote right after it is the next
// parameter's opening one.
bool endsWithParameterName(std::string_view text, size_t from, size_t to) {
    size_t at = to;
    auto skipBlanks = [&] {
        while (at > from && isBlank(text[at - 1]))
            --at;
    };
    skipBlanks();
    if (at == from || text[at - 1] != '=')
        return false;
    --at;
    skipBlanks();
    const size_t nameEnd = at;
    while (at > from && isTokenCharacter(text[at - 1]))
        --at;
    if (at == nameEnd)
        return false;
    skipBlanks();
    return at > from && text[at - 1] == ';';
}

// A quoted string's text with "\"" and "\\" undone; with dropQuotes, also without the
// quotes that no backslash escapes.
std::string unescaped(std::string_view text, bool dropQuotes) {
    std::string value;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\'))
            ++i;
        else if (dropQuotes && text[i] == '"')
            continue;
        value.push_back(text[i]);
    }
    return value;
}

// A quoted value from its opening quote at `open`. Mailers break the quoting two ways, and
// neither may leave another parameter's text in a name: a quote never closed (or closed
// only by the next parameter's opening quote) ends the value where another parameter
// begins; quotes inside the value that no backslash escapes (another quote after the
// closing one) leave the value running to the next ";", without them.
std::string readQuoted(std::string_view text, size_t open, size_t& pos) {
    size_t close = open + 1;
    for (; close < text.size() && text[close] != '"'; ++close)
        if (text[close] == '\\' && close + 1 < text.size())
            ++close;
    const size_t after = std::min(close + 1, text.size());
    const size_t end = std::min(text.find(';', after), text.size());
    const bool closed = close < text.size();
    const std::string_view rest = text.substr(after, end - after);
    if (closed && rest.find('"') == std::string_view::npos &&
        !endsWithParameterName(text, open + 1, close)) {
        pos = end; // anything between the closing quote and the next ";" is noise
        return unescaped(text.substr(open + 1, close - open - 1), false);
    }
    const size_t cut = parameterStartIn(text, open + 1, closed ? close : text.size());
    if (cut != std::string_view::npos) {
        pos = cut;
        return unescaped(trimmed(text.substr(open + 1, cut - open - 1)), false);
    }
    pos = end;
    return unescaped(trimmed(text.substr(open + 1, end - open - 1)), true);
}

// A parameter's value from `pos` (just after its "="): a quoted string with "\"" and "\\"
// undone, or the text up to the next ";". Other backslashes stay: old mailers write DOS
// paths in quotes without escaping them, and their last component is the name.
std::string readValue(std::string_view text, size_t& pos) {
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos < text.size() && text[pos] == '"')
        return readQuoted(text, pos, pos);
    const size_t end = std::min(text.find(';', pos), text.size());
    std::string_view raw = trimmed(text.substr(pos, end - pos));
    if (!raw.empty() && raw.back() == '"')
        raw.remove_suffix(1); // an unmatched closing quote is dropped
    pos = end;
    return std::string(raw);
}

struct Section {
    int index; // -1 for a single "name*"
    bool encoded;
    std::string value;
};

// Joins an RFC 2231 parameter's sections in order, from the first one given (some mailers
// count from 1) up to the first missing one, and decodes them; the first encoded section
// starts with "charset'language'".
void joinSections(std::vector<Section>& sections, HeaderParameter& parameter) {
    std::stable_sort(sections.begin(), sections.end(),
                     [](const Section& a, const Section& b) { return a.index < b.index; });
    int expected = sections.front().index;
    bool first = true;
    for (const Section& section : sections) {
        if (section.index != expected)
            break;
        expected = section.index < 0 ? -2 : expected + 1;
        std::string_view value = section.value;
        if (section.encoded && first) {
            const size_t quote1 = value.find('\'');
            const size_t quote2 =
                quote1 == std::string_view::npos ? quote1 : value.find('\'', quote1 + 1);
            if (quote2 != std::string_view::npos) {
                parameter.charset.assign(value.substr(0, quote1));
                value.remove_prefix(quote2 + 1);
            }
        }
        first = false;
        if (section.encoded)
            percentDecode(value, parameter.value);
        else
            parameter.value.append(value);
    }
}

} // namespace

HeaderValue::HeaderValue(std::string_view value) {
    size_t pos = 0;
    bool quoted = false;
    for (; pos < value.size() && (quoted || value[pos] != ';'); ++pos) {
        if (value[pos] == '"')
            quoted = !quoted;
        else if (value[pos] == '\\' && quoted)
            ++pos;
    }
    pos = std::min(pos, value.size());
    leading_ = trimmed(value.substr(0, pos));

    std::vector<std::pair<std::string, std::vector<Section>>> extended;
    while (pos < value.size()) {
        ++pos; // the ";"
        const size_t nameEnd = std::min(value.find_first_of("=;", pos), value.size());
        const std::string name = lowerCase(trimmed(value.substr(pos, nameEnd - pos)));
        pos = nameEnd;
        if (name.empty()) {
            if (pos < value.size() && value[pos] == '=')
                readValue(value, ++pos); // a value without a name is skipped
            continue;
        }
        HeaderParameter parameter;
        if (pos < value.size() && value[pos] == '=') {
            parameter.hasValue = true;
            parameter.value = readValue(value, ++pos);
        }
        const size_t star = name.find('*');
        if (star == std::string::npos || !parameter.hasValue) {
            // Only names are sent as encoded words; a boundary may hold "=?" and "?="
            // and must stay byte for byte what the body's delimiter lines hold.
            if (name == "name" || name == "filename") {
                std::string raw;
                raw.swap(parameter.value);
                decodeEncodedWords(raw, parameter.value, parameter.charset);
            }
            parameter.name = name;
            parameters_.push_back(std::move(parameter));
            continue;
        }
        // "name*", "name*N" or "name*N*"
        std::string_view marker = std::string_view(name).substr(star + 1);
        Section section{.index = -1, .encoded = false, .value = std::move(parameter.value)};
        if (!marker.empty() && marker.back() == '*') {
            section.encoded = true;
            marker.remove_suffix(1);
        } else if (marker.empty()) {
            section.encoded = true;
        }
        if (!marker.empty()) {
            if (marker.size() > 4 || !std::all_of(marker.begin(), marker.end(),
                                                  [](char c) { return c >= '0' && c <= '9'; }))
                continue; // not a form this reader knows
            section.index = std::stoi(std::string(marker));
        }
        const std::string base = name.substr(0, star);
        auto found = std::find_if(extended.begin(), extended.end(),
                                  [&](const auto& entry) { return entry.first == base; });
        if (found == extended.end())
            found = extended.insert(extended.end(), {base, {}});
        found->second.push_back(std::move(section));
    }
    for (auto& [base, sections] : extended) {
        HeaderParameter parameter;
        parameter.name = base;
        parameter.hasValue = true;
        parameter.extended = true;
        joinSections(sections, parameter);
        // Mailers put encoded words into the sections of a long name, split anywhere: they
        // are decoded once the sections are joined, when no charset of RFC 2231 came.
        if ((base == "name" || base == "filename") && parameter.charset.empty()) {
            std::string raw;
            raw.swap(parameter.value);
            decodeEncodedWords(raw, parameter.value, parameter.charset);
        }
        parameters_.push_back(std::move(parameter));
    }
}

const HeaderParameter* HeaderValue::parameter(std::string_view name) const {
    const HeaderParameter* plain = nullptr;
    for (const HeaderParameter& candidate : parameters_) {
        if (candidate.name.size() != name.size() ||
            !std::equal(name.begin(), name.end(), candidate.name.begin(),
                        [](char a, char b) { return lowered(a) == b; }))
            continue;
        if (candidate.extended && !allBlank(candidate.value))
            return &candidate;
        if (!plain)
            plain = &candidate;
    }
    return plain;
}

void HeaderValue::decodeEncodedWords(std::string_view text, std::string& bytes,
                                     std::string& charset) {
    bytes.clear();
    charset.clear();
    std::string word, wordCharset;
    bool afterWord = false; // the text appended last was an encoded word
    size_t pos = 0;
    while (pos < text.size()) {
        size_t at = text.find("=?", pos);
        if (at == std::string_view::npos) {
            bytes.append(text.substr(pos));
            break;
        }
        const size_t end = encodedWord(text, at, word, wordCharset);
        const std::string_view between = text.substr(pos, at - pos);
        if (end == std::string_view::npos) {
            bytes.append(text.substr(pos, at + 2 - pos)); // a malformed word stays as written
            pos = at + 2;
            afterWord = false;
            continue;
        }
        if (!(afterWord && allBlank(between)))
            bytes.append(between);
        bytes.append(word);
        if (charset.empty())
            charset = wordCharset;
        afterWord = true;
        pos = end;
    }
}

} // namespace TOVK_Internet
