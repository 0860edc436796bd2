// Builds the tree of parts of one message (MimePart) from its text, one line at a time and
// without recursion. The parser's working state lives here, apart from the tree: the
// text, the chain of open parts a line walks down (with where each one's header block
// began), and an index of their boundaries.
#pragma once

#include "formats/MimePart.h"
#include "utils/Block.h"

#include <map>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace TOVK_Internet {

class MimeParser {
public:
    explicit MimeParser(MimePart& root) : root_(root) {}

    // See MimePart::parse.
    bool parse(const TOVK_Utils::Block& text);

private:
    // One part of the chain: each is the current child of the one before.
    struct OpenPart {
        MimePart* part;
        bool childrenClosed = false; // its closing boundary line came: what follows is epilogue
        int64_t headerStart = -1;    // where its first header line began, once one came
        bool inBoundaryIndex = false; // its boundary was entered in the boundary index
    };
    enum class HeaderLine { Taken, EndsBlock, NotAHeader };

    void feedLine(const uint8_t* line, int64_t length, int64_t start);
    HeaderLine headerLine(OpenPart& open, const uint8_t* line, int64_t length, int64_t start);
    void endHeaderBlock(OpenPart& open, int64_t start);
    void bodyLine(OpenPart& open, int64_t start, int64_t length);
    void endOfText(int64_t n);
    int32_t outermostBoundaryMatch(const uint8_t* line, int64_t length) const;
    void truncateChain(size_t depth);
    void closeCarrier(MimePart& part);
    MimePart* openChild(MimePart& parent, int64_t start);

    MimePart& root_;
    const uint8_t* text_ = nullptr;
    // The end of the content of the line before this one; the text's end once it ended.
    int64_t lastLineEnd_ = -1;
    std::vector<OpenPart> chain_;
    // Boundary -> the depths in the chain of the parts that have it; length -> how many
    // chain parts have a boundary of that length. So a line reaches the innermost part,
    // and a boundary line the outermost part it belongs to, without walking the chain:
    // a message nested n levels deep parses in linear time.
    std::unordered_map<std::string_view, std::vector<int32_t>> boundaryDepths_;
    std::map<int32_t, int32_t> boundaryLengths_;
};

} // namespace TOVK_Internet
