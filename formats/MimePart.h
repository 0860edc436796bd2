// A parsed e-mail message: a tree of parts with their headers, bodies, boundaries and
// attachment file names. Bodies and header blocks are views into the message text, which
// must stay alive and unchanged while the parts are used. The parts hold what was found;
// the working state of the parse lives in MimeParser.
#pragma once

#include "formats/MIMEHeader.h"
#include "utils/Block.h"
#include "utils/LightBlock.h"
#include "utils/SmartArray.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TOVK_Internet {

// Plain covers 7bit, 8bit, binary and a missing header: the body is the content.
// Uuencode covers x-uuencode, uuencode and x-uue. Other is an encoding this program does
// not decode.
enum class TransferEncoding { Plain, Base64, QuotedPrintable, Uuencode, Other };

// A byte range of the message text, [start, end).
struct TextRange {
    int64_t start;
    int64_t end;
};

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

    // Parses the whole raw text of a message into this (root) part (see MimeParser).
    // False when the message's own header block had a malformed line, or when the
    // message is unparseable; the tree is built as far as the text allows all the same.
    bool parse(const TOVK_Utils::Block& text);

    // Marks the part to be cut out of the message (see MessageCut.h).
    void drop() { keep = false; }
    // Marks the body's bytes [start, end) (offsets in the body, a uuencoded block) to be
    // cut out of the message. False, with nothing marked, when the range is not inside the
    // body. Whether the rest reads as the body less those bytes, cutKeepsTheRest checks.
    bool dropFromBody(int64_t start, int64_t end);

    // A part with a file name and no sub-parts, or a named forwarded message (whose one
    // sub-part is the message it carries). Any other part with sub-parts is never one:
    // cutting it would take every part below it along, saved or not. The root is one
    // when its own headers name it (a scanner's or a fax gateway's mail), but is never
    // cut: the message would be left empty.
    bool isAttachment() const;
    // A text part whose body may hold uuencoded files: a leaf of a text type (or of no
    // declared type) that is not an attachment itself.
    bool isText() const;
    // Whether the part's bytes are known exactly, so that removing them leaves every other
    // byte of the message as it was: a boundary line of its parent opened it and the next
    // one ended it, and its header block and those of every part above it were well formed
    // and ended by an empty line.
    bool hasExactExtent() const;
    // Whether the part's body begins and ends where it seems: its header block and those
    // of every part above it were well formed, and no part above it is a saved attachment
    // that its parts go with (a named forwarded message is cut whole or not at all).
    bool bodyIsExact() const;
    // The header block ended with an empty line and every line in it was a header line.
    bool headerIsWellFormed() const { return inBody && !headerDamaged; }
    // Root only: the message exceeded the limits above.
    bool isUnparseable() const { return unparseable; }
    // A part above this one is a named attachment other than the root.
    bool isInsideAttachment() const;

    MimePart* parent = nullptr;
    MimePart* root = nullptr;
    TransferEncoding transferEncoding = TransferEncoding::Plain;
    int64_t totalSize = 0;
    int64_t bodyStart = -1;
    int64_t headerStart = -1;
    // Below the root: the start of the boundary line that opened the part, and the start
    // of the parent's boundary line that ended it (-1 while no such line came, and for a
    // forwarded message's own part, which no boundary line opens).
    int64_t partStart = -1;
    int64_t partEnd = -1;
    TOVK_Utils::LightBlock body;
    TOVK_Utils::LightBlock headerText;
    // The attachment's name as decoded bytes, and the charset they are in (empty when
    // none was declared). Converting and cleaning them is the attachment writer's job.
    TOVK_Utils::Block fileName;
    TOVK_Utils::Block charset;
    // The media type in ASCII lower case ("text/plain"), empty when none was declared.
    std::string mediaType;
    bool keep = true;
    // Root only: every part below the root in document order; the root owns them all,
    // so that destroying a deeply nested message never recurses.
    std::vector<std::unique_ptr<MimePart>> allParts;
    std::vector<MimePart*> children;
    TOVK_Utils::SmartArray<MIMEHeader> headers;
    TOVK_Utils::Block boundary;
    // Ranges inside the body to be cut out, in order.
    std::vector<TextRange> droppedFromBody;
    // False while the header block has not ended: headerText then covers the lines
    // received so far, without the last line break.
    bool inBody = false;
    // A line of the header block was not a header line (it then began the body, as in a
    // part whose blank line is missing), or the Content-Type could not be read.
    bool headerDamaged = false;
    bool isMultipart = false;
    // A message/rfc822 part whose body is parsed as a message: its one child.
    bool carriesMessage = false;
    int32_t lastHeader = -1;

private:
    friend class MimeParser;
    bool unparseable = false;
};

} // namespace TOVK_Internet
