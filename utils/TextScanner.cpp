#include "utils/TextScanner.h"

#include <cstring>

namespace TOVK_Utils {

namespace {
bool isSpace(uint32_t c) {
    return c == ' ' || c == '\t';
}
} // namespace

CharCursor::CharCursor(Block& block, int32_t position) : block_(block), position_(position) {}

bool CharCursor::inside() const {
    return position_ >= 0 && position_ < block_.length();
}

uint32_t CharCursor::get() const {
    return block_.charAt(position_);
}

void CharCursor::put(uint32_t c, Beyond beyond) {
    if (position_ < 0)
        return;
    if (beyond == Beyond::Grow && position_ >= block_.length())
        block_.grow(position_ - block_.length() + 1);
    block_.setCharAt(position_, c);
}

TextScanner::TextScanner(const Block& text, Mode mode, int32_t start, uint32_t ch)
    : text_(text), mode_(mode), ch_(ch), start_(start) {}

bool TextScanner::next() {
    if (finished_)
        return false;
    int32_t n = text_.length();
    int32_t at = -1;
    if (mode_ == SkipSpaceBackward) {
        for (int32_t i = start_ < n ? start_ : n - 1; i >= 0; --i) {
            if (!isSpace(text_.charAt(i))) {
                at = i;
                break;
            }
        }
    } else if (mode_ == FindChar && !text_.isWide() && start_ < n) {
        // Lines of a whole message are found here: let memchr do the walking.
        int32_t from = start_ < 0 ? 0 : start_;
        const uint8_t* base = text_.rawPointer();
        const void* hit =
            ch_ < 256 ? std::memchr(base + from, static_cast<int>(ch_), n - from) : nullptr;
        if (hit)
            at = static_cast<int32_t>(static_cast<const uint8_t*>(hit) - base);
    } else {
        for (int32_t i = start_ < 0 ? 0 : start_; i < n; ++i) {
            uint32_t c = text_.charAt(i);
            if (mode_ == FindChar ? c == ch_ : !isSpace(c)) {
                at = i;
                break;
            }
        }
    }
    if (at < 0) {
        finished_ = true;
        return false;
    }
    found_ = at;
    start_ = mode_ == SkipSpaceBackward ? at - 1 : at + 1;
    return true;
}

LineReader::LineReader(const Block& text) : TextScanner(text, FindChar, 0, '\n') {}

bool LineReader::nextLine(Block& line) {
    int32_t begin = start_ < 0 ? 0 : start_;
    if (next()) {
        int32_t end = found_;
        if (end > begin && text_.charAt(end - 1) == '\r')
            --end;
        text_.substring(line, begin, end);
        return true;
    }
    int32_t n = text_.length();
    text_.substring(line, begin, n);
    start_ = n > begin ? n : begin;
    return false;
}

Tokenizer::Tokenizer(const Block& text, const char* separators, Empty empty, Quotes quotes)
    : text_(text), separators_(separators), skipEmpty_(empty == Empty::Skipped),
      quotes_(quotes == Quotes::Group) {}

bool Tokenizer::isSeparator(uint32_t c) const {
    return c != 0 && c < 256 && std::strchr(separators_, static_cast<int>(c)) != nullptr;
}

bool Tokenizer::nextToken(Block& token) {
    int32_t n = text_.length();
    if (skipEmpty_) {
        while (position_ < n && isSeparator(text_.charAt(position_)))
            ++position_;
    }
    if (position_ >= n) {
        text_.substring(token, n, n);
        return false;
    }
    int32_t start = position_;
    int32_t at = position_;
    while (at < n && !isSeparator(text_.charAt(at))) {
        if (quotes_ && text_.charAt(at) == '"') {
            // Separators inside a quoted part do not split; an unclosed quote runs to the end.
            int32_t close = at + 1;
            while (close < n && text_.charAt(close) != '"')
                ++close;
            at = close < n ? close + 1 : n;
        } else {
            ++at;
        }
    }
    text_.substring(token, start, at);
    position_ = at < n ? at + 1 : at;
    return true;
}

} // namespace TOVK_Utils
