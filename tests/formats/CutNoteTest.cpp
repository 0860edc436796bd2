// Cutting with notes: each cut range is replaced by exactly its note, the cut text reads
// again as the same tree with a note part where each cut part was, and a note that does
// not fit, or that would stand where a reader shows the message's text, is left out.
#include "formats/CutNote.h"
#include "MimeTestUtil.h"
#include "formats/CutPlan.h"
#include "formats/Decoding.h"
#include "formats/MessageCut.h"
#include "formats/Uuencode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace TOVK_Internet;
using TOVK_Utils::Block;

namespace {

const std::string sentence = "The attachment a.bin (12 KB) was saved as /out/a.bin on "
                             "2026-12-09 by Klovin Attachment Extractor.";
const std::string big(400, 'Q'); // a body the note fits in

std::string mixed(const std::string& eol, const std::string& parts) {
    return "Subject: n" + eol + "Content-Type: multipart/mixed; boundary=b" + eol + eol +
           "preamble" + eol + "--b" + eol + "Content-Type: text/plain" + eol + eol + "Hi" + eol +
           parts + "--b--" + eol + "epilogue" + eol;
}
std::string attachment(const std::string& eol, const std::string& name, const std::string& body,
                       const std::string& boundary = "b") {
    return "--" + boundary + eol + "Content-Type: application/octet-stream; name=" + name + eol +
           eol + body + eol;
}

struct NoteCase {
    const char* what;
    std::string message;
    std::string sentence;
    bool noted; // each attachment gets its note
};

std::vector<NoteCase> noteCases() {
    const std::string crlf = "\r\n", lf = "\n";
    const std::string nested = "--b\r\nContent-Type: multipart/related; boundary=r\r\n\r\n" +
                               attachment(crlf, "x.bin", big, "r") + "--r--\r\n";
    const std::string forwarded = "--b\r\nContent-Type: message/rfc822\r\n\r\n"
                                  "Subject: inner\r\nContent-Type: multipart/mixed; boundary=i"
                                  "\r\n\r\n" +
                                  attachment(crlf, "y.bin", big, "i") + "--i--\r\n";
    return {
        {"CR LF, two attachments",
         mixed(crlf, attachment(crlf, "a.bin", big) + attachment(crlf, "b.bin", big)), sentence,
         true},
        {"LF only: the note's line breaks are the part's", mixed(lf, attachment(lf, "a.bin", big)),
         sentence, true},
        {"in a nested multipart", mixed(crlf, nested), sentence, true},
        {"in a forwarded message read as a message", mixed(crlf, forwarded), sentence, true},
        {"non-ASCII names and paths go quoted-printable",
         mixed(crlf, attachment(crlf, "a.bin", big)),
         "The attachment \xC3\xA4-=.bin (1 KB) was saved as /\xE2\x82\xAC/" + std::string(90, '-') +
             " on 2026-12-09 by Klovin Attachment Extractor.",
         true},
        {"control characters become spaces", mixed(crlf, attachment(crlf, "a.bin", big)),
         "A\r\n--b\r\nB", true},
        {"a sentence that reads as a boundary line is encoded",
         mixed(crlf, attachment(crlf, "a.bin", big)), "--b--", true},
        {"a part smaller than its note is cut without one",
         mixed(crlf, attachment(crlf, "a.bin", "tiny")), sentence, false},
        {"an alternative would be shown instead of the text",
         "Content-Type: multipart/alternative; boundary=b\r\n\r\n--b\r\nContent-Type: "
         "text/plain\r\n\r\nHi\r\n" +
             attachment(crlf, "a.bin", big) + "--b--\r\n",
         sentence, false},
    };
}

std::string controlsAsSpaces(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return text;
}

} // namespace

TEST(CutNote, ACutMessageReadsAgainWithEachCutPartReplacedByItsNote) {
    for (const NoteCase& c : noteCases()) {
        const TOVK_Utils::LightBlock text = view(c.message);
        MimePart root;
        root.parse(text);
        CutPlan plan(root);
        std::string expected = c.message;
        std::vector<const MimePart*> cut;
        for (const auto& part : root.allParts)
            if (part->isAttachment() && !part->isInsideAttachment())
                cut.push_back(part.get());
        // From the last, so that the earlier offsets still hold in `expected`.
        for (auto p = cut.rbegin(); p != cut.rend(); ++p) {
            ASSERT_TRUE(plan.drop(**p, notePart(**p, c.sentence))) << c.what;
            const std::string& note = plan.cuts().back().note;
            EXPECT_EQ(!note.empty(), c.noted) << c.what;
            expected.replace(size_t((*p)->partStart), size_t((*p)->partEnd - (*p)->partStart),
                             note);
        }
        ASSERT_FALSE(cut.empty()) << c.what;
        Block out;
        ASSERT_TRUE(spliceOutDropped(root, plan, text, out)) << c.what;
        EXPECT_EQ(str(out), expected) << c.what;
        EXPECT_TRUE(cutKeepsTheRest(root, plan, out)) << c.what;

        // The notes read as plain text parts that say the sentence.
        MimePart again;
        again.parse(out);
        int notes = 0;
        for (const auto& part : again.allParts) {
            if (part->mediaType != "text/plain" || str(part->body) == "Hi")
                continue; // the message's own text
            ++notes;
            Block decoded;
            EXPECT_TRUE(decodeContent(*part, decoded)) << c.what;
            EXPECT_EQ(str(decoded), controlsAsSpaces(c.sentence)) << c.what;
        }
        EXPECT_EQ(notes, c.noted ? int(cut.size()) : 0) << c.what;
    }
}

// A note where another one, or other bytes, should be is found out.
TEST(CutNote, TheCheckExpectsExactlyTheNotes) {
    const std::string message = mixed("\r\n", attachment("\r\n", "a.bin", big));
    MimePart root;
    root.parse(view(message));
    CutPlan plan(root);
    const MimePart& part = *root.allParts.back();
    ASSERT_TRUE(plan.drop(part, notePart(part, sentence)));
    Block out;
    ASSERT_TRUE(spliceOutDropped(root, plan, view(message), out));
    ASSERT_TRUE(cutKeepsTheRest(root, plan, out));
    const std::string good = str(out);
    const size_t at = good.find("Klovin");
    for (const std::string& changed :
         {std::string(good).replace(at, 1, "k"),
          std::string(good).erase(good.find("--b\r\nC", 20), 5),
          message.substr(0, size_t(part.partStart)) + message.substr(size_t(part.partEnd))}) {
        EXPECT_FALSE(cutKeepsTheRest(root, plan, view(changed))) << changed;
    }
}

// A uuencoded block in a text gets a line in its place, with the line break it ended
// with; a sentence the text's own charset may not hold gets none.
TEST(CutNote, AUuencodedBlockIsReplacedByOneLine) {
    const std::string block = "begin 644 a.txt\r\n#86)C\r\n`\r\nend\r\n";
    struct Line {
        const char* what;
        std::string body;
        std::string sentence;
        std::string line;
    } lines[] = {
        {"in the middle", "Hello\r\n" + block + "Bye", "Saved.", "Saved.\r\n"},
        {"at the body's end", "Hello\r\n" + block.substr(0, block.size() - 2), "Saved.", "Saved."},
        {"8-bit", "Hello\r\n" + block + "Bye", "Saved \xC3\xA4.", ""},
        {"a boundary line", "Hello\r\n" + block + "Bye", "--b--", ""},
    };
    for (const Line& l : lines) {
        const std::string message = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                                    "Content-Type: text/plain\r\n\r\n" +
                                    l.body + "\r\n--b--\r\n";
        MimePart root;
        root.parse(view(message));
        const MimePart& text = *root.allParts.front();
        const std::string_view body(reinterpret_cast<const char*>(text.body.rawPointer()),
                                    size_t(text.body.length()));
        const auto blocks = findUuencodedBlocks(body);
        ASSERT_EQ(blocks.size(), 1u) << l.what;
        const std::string note = noteLine(text, blocks[0].start, blocks[0].end, l.sentence);
        EXPECT_EQ(note, l.line) << l.what;
        CutPlan plan(root);
        ASSERT_TRUE(plan.dropFromBody(text, blocks[0].start, blocks[0].end, note));
        Block out;
        ASSERT_TRUE(spliceOutDropped(root, plan, view(message), out));
        std::string expected = message;
        expected.replace(size_t(text.bodyStart + blocks[0].start),
                         size_t(blocks[0].end - blocks[0].start), note);
        EXPECT_EQ(str(out), expected) << l.what;
        EXPECT_TRUE(cutKeepsTheRest(root, plan, out)) << l.what;
    }
}
