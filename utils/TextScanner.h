// Scanning tools over a block of text: a cursor, a searching scanner, a line reader,
// a tokenizer. White space is space and tab only.
#pragma once

#include "Block.h"

#include <cstdint>

namespace TOVK_Utils {

class CharCursor {
public:
    explicit CharCursor(Block& block, int32_t position = 0);
    bool inside() const;
    uint32_t get() const;
    void forward() { ++position_; }
    void back() { --position_; }
    // What put does at a position past the block's end: nothing, or grow the block to it.
    enum class Beyond { Ignore, Grow };
    // Writes c at the position (inside the block, or beyond it as asked).
    void put(uint32_t c, Beyond beyond);
    int32_t position() const { return position_; }
    void setPosition(int32_t position) { position_ = position; }

private:
    Block& block_;
    int32_t position_;
};

class TextScanner {
public:
    enum Mode { FindChar, SkipSpaceForward, SkipSpaceBackward };
    TextScanner(const Block& text, Mode mode, int32_t start = 0, uint32_t ch = 0);
    // Searches from the start position; on success records the found position and moves
    // the start position past it. A failed search finishes the scanner.
    bool next();
    int32_t found() const { return found_; }
    int32_t start() const { return start_; }
    void setStart(int32_t start) {
        start_ = start;
        finished_ = false;
    }
    bool finished() const { return finished_; }

protected:
    const Block& text_;
    Mode mode_;
    uint32_t ch_;
    int32_t start_;
    int32_t found_ = -1;
    bool finished_ = false;
};

class LineReader : public TextScanner {
public:
    explicit LineReader(const Block& text);
    // The next line without its LF (and without a CR before it); false for the rest of
    // the text after the last LF, which is still given in line.
    bool nextLine(Block& line);
    int32_t position() const { return start_; }
};

class Tokenizer {
public:
    // Empty tokens between two separators are given or skipped; a quoted part ("...") may
    // hold separators when quotes group.
    enum class Empty { Kept, Skipped };
    enum class Quotes { Plain, Group };
    Tokenizer(const Block& text, const char* separators, Empty empty, Quotes quotes);
    bool nextToken(Block& token);
    // The position after the separator that ended the last token.
    int32_t position() const { return position_; }

private:
    bool isSeparator(uint32_t c) const;
    const Block& text_;
    const char* separators_;
    bool skipEmpty_;
    bool quotes_;
    int32_t position_ = 0;
};

} // namespace TOVK_Utils
