// A parsed e-mail message: a tree of parts with their headers, bodies, boundaries and
// attachment file names. Bodies, header blocks, boundaries and names are views into the
// message text, which must stay alive and unchanged while the parts are used.
#pragma once

#include "formats/MIMEHeader.h"
#include "utils/Block.h"
#include "utils/LightBlock.h"
#include "utils/SmartArray.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace TOVK_Internet {

// Plain covers 7bit, 8bit, binary and a missing header: the body is the content. Other is
// an encoding this program does not decode.
enum class TransferEncoding { Plain, Base64, QuotedPrintable, Other };

class MimePart {
public:
    // Beyond these a message is treated as unparseable: nothing is taken from it and it
    // is never rewritten, so a hostile message cannot make the work unbounded.
    static constexpr int32_t maxParts = 100000;
    static constexpr int32_t maxHeaders = 10000;

    MimePart();
    ~MimePart();
    MimePart(const MimePart&) = delete;
    MimePart& operator=(const MimePart&) = delete;

    // Feeds the whole raw text of a message to this (root) part. False when the
    // message's own header block had a malformed line, or when the message is unparseable;
    // the tree is built as far as the text allows all the same.
    bool parse(const TOVK_Utils::Block& text);

    // Marks the part to be cut out of the message (see MessageCut.h).
    void drop() { keep = false; }
    // Takes an unquoted name or filename parameter value, handling one encoded word.
    void setFileName(const TOVK_Utils::Block& value);

    // A part below the root with a file name and no sub-parts. A part with sub-parts is
    // never one: cutting it would take every part below it along, saved or not.
    bool isAttachment() const;
    // Whether the part's bytes are known exactly, so that removing them leaves every other
    // byte of the message as it was: a boundary line of its parent opened it and the next
    // one ended it, and its header block and those of every part above it were well formed
    // and ended by an empty line.
    bool hasExactExtent() const;
    // The header block ended with an empty line and every line in it was a header line.
    bool headerIsWellFormed() const { return inBody && !headerDamaged; }
    // Root only: the message exceeded the limits above.
    bool isUnparseable() const { return unparseable_; }

    MimePart* parent = nullptr;
    MimePart* root = nullptr;
    TransferEncoding transferEncoding = TransferEncoding::Plain;
    int64_t totalSize = 0;
    int64_t bodyStart = -1;
    int64_t headerStart = -1;
    // Below the root: the start of the boundary line that opened the part, and the start
    // of the parent's boundary line that ended it (-1 while no such line came).
    int64_t partStart = -1;
    int64_t partEnd = -1;
    TOVK_Utils::LightBlock body;
    TOVK_Utils::LightBlock headerText;
    TOVK_Utils::LightBlock fileName;
    TOVK_Utils::LightBlock charset;
    TOVK_Utils::Block decodedName;
    bool keep = true;
    // Root only: every part below the root in document order; the root owns them all,
    // so that destroying a deeply nested message never recurses.
    std::vector<std::unique_ptr<MimePart>> allParts;
    std::vector<MimePart*> children;
    TOVK_Utils::SmartArray<MIMEHeader> headers;
    TOVK_Utils::LightBlock boundary;
    MimePart* currentChild = nullptr;
    bool childrenClosed = false;
    // False while the header block has not ended: headerText then covers the lines
    // received so far, without the last line break.
    bool inBody = false;
    // A line of the header block was not a header line (it then began the body, as in a
    // part whose blank line is missing), or the Content-Type could not be read.
    bool headerDamaged = false;
    bool isMultipart = false;
    int32_t lastHeader = -1;

private:
    void feedLine(const uint8_t* line, int64_t length, int64_t start);
    enum class HeaderLine { Taken, EndsBlock, NotAHeader };
    HeaderLine headerLine(const uint8_t* line, int64_t length, int64_t start);
    void endHeaderBlock(int64_t start);
    void bodyLine(int64_t start, int64_t length);
    int32_t outermostBoundaryMatch(const uint8_t* line, int64_t length) const;
    void truncateChain(size_t depth);
    bool interpretHeaders();
    void interpretContentType(const TOVK_Utils::Block& value, bool& ok);
    void interpretContentDisposition(const TOVK_Utils::Block& value);
    MimePart* openChild(int64_t start);
    const uint8_t* text_ = nullptr; // root only
    bool unparseable_ = false;
    // Root only. The chain of parts a line walks down (each the current child of the one
    // before), and an index of their boundaries, so that a line reaches the innermost
    // part, and a boundary line the outermost part it belongs to, without walking the
    // whole chain: a message nested n levels deep then parses in linear time.
    std::vector<MimePart*> chain_;
    std::unordered_map<std::string_view, std::vector<int32_t>> boundaryDepths_;
    std::map<int32_t, int32_t> boundaryLengths_; // length -> how many chain parts have it
};

} // namespace TOVK_Internet
