// The value of a structured header such as Content-Type or Content-Disposition: its
// leading token (media type, disposition type) and its parameters, decoded. Encoded words
// (=?charset?B|Q?text?=), RFC 2231 parameters (name*=charset'lang'%XX, continuations
// name*0, name*1*, ...) and quoted strings are undone here; the result is the value's
// bytes and the charset they are in. Converting them to Unicode is not this unit's job.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace TOVK_Internet {

struct HeaderParameter {
    std::string name;      // ASCII lower case, without the RFC 2231 markers
    std::string value;     // decoded bytes
    std::string charset;   // the RFC 2231 charset or that of the first encoded word; may be empty
    bool hasValue = false; // an "=" followed the name
    bool extended = false; // given in the RFC 2231 form
};

class HeaderValue {
public:
    explicit HeaderValue(std::string_view value);

    // The text before the first ";" outside quotes, without surrounding blanks.
    std::string_view leadingToken() const { return leading_; }
    // The parameter of that name (ASCII case ignored); an RFC 2231 value that is not empty
    // or blank wins over a plain one of the same parameter, and otherwise the first one
    // given wins. Null when absent.
    const HeaderParameter* parameter(std::string_view name) const;
    const std::vector<HeaderParameter>& parameters() const { return parameters_; }

    // Decodes the encoded words of a text: B and Q (in Q "_" is a space), several in a
    // row (the blanks between two adjacent words are dropped), mixed with plain text. A
    // malformed word stays as it is written. charset receives the first word's charset
    // (without an RFC 2231 language), or nothing when there was no word.
    static void decodeEncodedWords(std::string_view text, std::string& bytes, std::string& charset);

private:
    std::string_view leading_;
    std::vector<HeaderParameter> parameters_;
};

} // namespace TOVK_Internet
