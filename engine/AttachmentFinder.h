// AttachmentFinder: what in a parsed message is an attachment, where the content of each
// lies, and whether it may be cut out of the message, and if not, why. It only reads the
// message: no view, no files, no job state, no counters. What it decodes to look inside
// (a forwarded message sent encoded, an encoded text part) it keeps until the next find.
//
// Found, in document order, a forwarded message's attachments right after it:
// - every attachment part (MimePart::isAttachment), the root included;
// - a leaf in x-uuencode without a name, named by its first begin line;
// - the uuencoded files in a text part (MimePart::isText), named by their begin lines;
// - the attachments of a forwarded message sent in base64 or quoted-printable, read
//   maxForwardDepth levels deep: the message holds them only encoded, so they are never
//   cut.
// - the data fork of a BinHex text, and the files inside a TNEF part (winmail.dat);
// - the payload of an encrypted message, which is never cut.
// Not found at all, since they are no files the sender attached: signatures, the control
// part of an encrypted message, and message/external-body (a pointer to a file elsewhere).
#pragma once

#include "formats/BinHex.h"
#include "formats/MimePart.h"
#include "formats/Tnef.h"
#include "formats/Uuencode.h"
#include "utils/Block.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Why an attachment stays in its message even when cutting is on.
enum class KeepReason {
    None,             // it may be cut, once it decoded cleanly and its file holds exactly it
    IsTheMessage,     // the message's own headers name it: the message would be left empty
    InsideAttachment, // a named attachment above holds it: it goes or stays with that one
    InEncodedForward, // in a forwarded message sent encoded, which holds it only encoded
    InEncodedText,    // uuencoded in a quoted-printable or base64 text: the same
    NotExact,         // its bytes in the message are not known exactly (damaged structure)
    Signed,           // a multipart/signed covers it: cutting it would break the signature
    Encrypted,        // the payload of an encrypted message: the message is nothing without it
    Tnef,             // in a TNEF part, which also carries the message's formatted text
    // Decided once it is saved: its encoding held more or less than the bytes decoded, or
    // its saved file did not read back as exactly its bytes.
    NotClean,
    NotReadBack,
};

// A short text for a user: why an attachment stayed in its message.
const char* describe(KeepReason reason);

// Where an attachment's content lies.
enum class ContentKind {
    Part,           // a part's body, decoded by its transfer encoding
    UuencodedBlock, // a block of a text: a part's body, or that body decoded
    BinHexDataFork, // a part's BinHex text, decoded at find
    TnefFile,       // a file in a part's TNEF bytes, read at find
};

class AttachmentFinder {
public:
    static constexpr int32_t maxForwardDepth = 16;

    struct Found {
        ContentKind kind = ContentKind::Part;
        std::string_view name;                         // decoded bytes, as the message gives them
        std::string_view charset;                      // the name's; empty when none was declared
        const TOVK_Internet::MimePart* part = nullptr; // the part that holds it
        // UuencodedBlock: the text that holds it, and where in that text. TnefFile: its bytes.
        std::string_view text;
        TOVK_Internet::UuencodedBlock block;
        // Decoded already: a forwarded message, decoded to be read for its own attachments,
        // or a BinHex data fork. decodedCleanly tells for those and for a TnefFile.
        const TOVK_Utils::Block* decoded = nullptr;
        bool decodedCleanly = false;
        int64_t encodedLength = 0; // its bytes as the message holds them
        KeepReason keep = KeepReason::None;
        // The index of the found forwarded message whose decoded text holds it, or -1.
        int32_t within = -1;
        // A picture the message's own text shows (skipped when the user asks so): an
        // image part that an HTML part of the same message refers to by a cid: URL, or
        // one marked inline that has a Content-ID.
        bool shownInText = false;

        bool mayBeCut() const { return keep == KeepReason::None; }
    };

    // The attachments of a parsed message; none when it is unparseable. They stay valid
    // until the next find, while the message lives. The parts are not changed: what is cut
    // is the caller's plan (CutPlan).
    const std::vector<Found>& find(const TOVK_Internet::MimePart& message);

    // The content of one found attachment: decoded into scratch (or decoded already).
    // Clean: every byte of it was understood.
    static const TOVK_Utils::Block& content(const Found& found, TOVK_Utils::Block& scratch,
                                            bool& clean);

private:
    // Where the walk is: how many forwarded messages deep, whether in one sent encoded,
    // and which found forwarded message holds what it finds.
    // Signed: the forwarded message sent encoded that is walked lies under a
    // multipart/signed (its own tree does not show it).
    struct Walk {
        int32_t depth;
        bool inEncodedForward;
        int32_t within;
        bool isSigned = false;
    };
    struct Forward {
        TOVK_Utils::Block text;
        TOVK_Internet::MimePart message;
    };

    void walk(const TOVK_Internet::MimePart& root, const Walk& walk);
    void visit(const TOVK_Internet::MimePart& part, const Walk& walk);
    void addAttachment(const TOVK_Internet::MimePart& part, const Walk& walk);
    void addEncryptedPayload(const TOVK_Internet::MimePart& part, const Walk& walk);
    // False when the part holds no BinHex file, or no TNEF at all: it is then found as
    // any other part.
    bool addBinHex(const TOVK_Internet::MimePart& part, const Walk& walk);
    bool addTnef(const TOVK_Internet::MimePart& part, const Walk& walk);
    void addUnnamedUuencoded(const TOVK_Internet::MimePart& part, const Walk& walk);
    void addUuencodedInText(const TOVK_Internet::MimePart& part, const Walk& walk);
    // Decodes a forwarded message sent encoded into a text kept with the results.
    Forward& decodeForward(const TOVK_Internet::MimePart& part, bool& clean);
    void readForward(Forward& forward, const TOVK_Internet::MimePart& part, const Walk& outer,
                     int32_t within);
    // own: the reason the part's kind gives, which only the reasons of where it lies beat.
    static KeepReason reasonToKeepWhole(const TOVK_Internet::MimePart& part, const Walk& walk,
                                        KeepReason own = KeepReason::None);
    // The part's decoded body: the body itself when it is plain, else decoded into a spare
    // text, which is not kept.
    std::string_view decodedBody(const TOVK_Internet::MimePart& part, bool& clean);
    bool isShownInText(const TOVK_Internet::MimePart& part);
    // The Content-IDs the HTML parts of a message refer to, read once per message.
    const std::vector<std::string>& referencedIds(const TOVK_Internet::MimePart& message);
    TOVK_Utils::Block& spareText();
    TOVK_Utils::Block& keptText(); // a spare text, kept until the next find

    std::vector<Found> found_;
    std::vector<std::pair<const TOVK_Internet::MimePart*, std::vector<std::string>>> cids_;
    std::vector<std::unique_ptr<Forward>> forwards_;
    // What BinHex headers and TNEF parts name: the found names are views into them.
    std::vector<std::unique_ptr<TOVK_Internet::BinHexFile>> binHexes_;
    std::vector<std::unique_ptr<TOVK_Internet::TnefContent>> tnefs_;
    // Decoded text parts: those that hold uuencoded files are kept until the next find,
    // and the buffers serve every find after it, so that a message costs no heap growth.
    std::vector<std::unique_ptr<TOVK_Utils::Block>> texts_;
    size_t textsKept_ = 0;
};
