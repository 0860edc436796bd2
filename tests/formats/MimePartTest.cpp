#include "formats/MimePart.h"
#include "MimeTestUtil.h"
#include "formats/Decoding.h"
#include "formats/MessageCut.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>

using namespace TOVK_Internet;
using TOVK_Utils::Block;

namespace {

struct Parsed {
    explicit Parsed(std::string message) : text(std::move(message)), block(view(text)) {
        ok = root.parse(block);
    }
    MimePart& part(size_t i) { return *root.allParts.at(i); }
    // The text without what the plan drops; "!" when the cut was refused or failed its check.
    std::string cut() {
        Block out;
        if (!spliceOutDropped(root, plan, block, out) || !cutKeepsTheRest(root, plan, out))
            return "!";
        return str(out);
    }
    std::string text;
    TOVK_Utils::LightBlock block;
    MimePart root;
    CutPlan plan{root};
    bool ok = false;
};

std::string header(const MimePart& part, int i) {
    auto& headers = const_cast<MimePart&>(part).headers;
    return str(headers.at(i).name) + "=" + str(headers.at(i).value);
}

const char* mixed = "From: a@b\r\n"
                    "Content-Type: multipart/mixed; boundary=\"XX\"\r\n"
                    "\r\n"
                    "preamble\r\n"
                    "--XX\r\n"
                    "Content-Type: text/plain\r\n"
                    "\r\n"
                    "hello\r\n"
                    "world\r\n"
                    "--XX\r\n"
                    "Content-Type: application/pdf; name=\"r.pdf\"\r\n"
                    "Content-Transfer-Encoding: base64\r\n"
                    "\r\n"
                    "QUJD\r\n"
                    "--XX--\r\n"
                    "epilogue\r\n";

} // namespace

TEST(MimeParse, HeadersBodiesAndTree) {
    Parsed m(mixed);
    ASSERT_TRUE(m.ok);
    EXPECT_TRUE(m.root.isMultipart);
    EXPECT_EQ(str(m.root.boundary), "XX");
    EXPECT_EQ(str(m.root.body), "preamble");
    EXPECT_EQ(str(m.root.headerText),
              "From: a@b\r\nContent-Type: multipart/mixed; boundary=\"XX\"\r\n");
    ASSERT_EQ(m.root.allParts.size(), 2u);
    ASSERT_EQ(m.root.children.size(), 2u);
    EXPECT_EQ(str(m.part(0).body), "hello\r\nworld");
    EXPECT_FALSE(m.part(0).isAttachment());
    EXPECT_EQ(str(m.part(1).fileName), "r.pdf");
    EXPECT_EQ(m.part(1).transferEncoding, TransferEncoding::Base64);
    EXPECT_TRUE(m.part(1).isAttachment());
    EXPECT_EQ(str(m.part(1).body), "QUJD");
    EXPECT_EQ(m.part(1).parent, &m.root);
    EXPECT_EQ(m.part(1).root, &m.root);
    EXPECT_EQ(m.root.totalSize, static_cast<int64_t>(m.text.size()));
}

TEST(MimeParse, LineEndsAndHeaderLines) {
    Parsed lf("A: 1\nContent-Type: multipart/mixed; boundary=b\n\n--b\nX: y\n\nbo\rdy\n--b--\n");
    ASSERT_TRUE(lf.ok);
    ASSERT_EQ(lf.root.allParts.size(), 1u);
    EXPECT_EQ(str(lf.part(0).body), "bo\rdy"); // a lone CR is content

    Parsed noBlank("Subject: x\r\nFrom: y\r\n");
    EXPECT_TRUE(noBlank.ok);
    EXPECT_EQ(noBlank.root.headerBlock, HeaderBlock::Unended);
    EXPECT_EQ(noBlank.root.headers.length(), 2);

    Parsed folded("Content-Type: multipart/mixed;\r\n  boundary=abc\r\n\r\n");
    ASSERT_TRUE(folded.ok);
    EXPECT_EQ(header(folded.root, 0), "Content-Type=multipart/mixed; boundary=abc");
    EXPECT_EQ(str(folded.root.boundary), "abc");

    Parsed spaced("Content-Type: Multipart/Mixed; boundary = \"abc\"\r\n\r\n");
    EXPECT_EQ(str(spaced.root.boundary), "abc");

    Parsed blanks("Subject : x\r\n \t \r\nTo:\t  y  \r\n\r\nbody");
    ASSERT_TRUE(blanks.ok);
    EXPECT_EQ(header(blanks.root, 0), "Subject =x");
    EXPECT_EQ(header(blanks.root, 1), "To=y");

    EXPECT_FALSE(Parsed("no colon here\r\n\r\n").ok);
    EXPECT_FALSE(Parsed(" continuation first\r\n\r\n").ok);
    EXPECT_FALSE(Parsed("Content-Type: multipart/mixed; boundary=\r\n\r\n").ok);
}

TEST(MimeParse, BoundaryLines) {
    // "--b1--" closes, "--b1 " and "--b1x" open children; text after the close is no part.
    Parsed m("Content-Type: multipart/mixed; boundary=b1\r\n\r\n"
             "--b1 \r\n\r\none\r\n--b1x\r\n\r\ntwo\r\n--b1--\r\nafter\r\n");
    ASSERT_EQ(m.root.allParts.size(), 2u);
    EXPECT_EQ(str(m.part(0).body), "one");
    EXPECT_EQ(str(m.part(1).body), "two");

    // A boundary that itself ends in "--" opens with its own line and closes with "--".
    Parsed dashes("Content-Type: multipart/mixed; boundary=\"x--\"\r\n\r\n"
                  "--x--\r\n\r\none\r\n--x----   \r\nafter\r\n");
    ASSERT_EQ(dashes.root.allParts.size(), 1u);
    EXPECT_EQ(str(dashes.part(0).body), "one");
    EXPECT_GT(dashes.part(0).partEnd, 0); // the closing line ended it

    // A closing line without a final LF still closes.
    Parsed last("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\none\r\n--b--");
    EXPECT_EQ(last.part(0).partEnd, static_cast<int64_t>(last.text.size()) - 5);
    EXPECT_EQ(str(last.part(0).body), "one");
}

TEST(MimeParse, NestedPartsInDocumentOrder) {
    Parsed m("Content-Type: multipart/mixed; boundary=out\r\n\r\n"
             "--out\r\nContent-Type: multipart/alternative; boundary=in\r\n\r\n"
             "--in\r\n\r\nplain\r\n--in\r\n\r\nhtml\r\n"
             "--out\r\nContent-Type: image/png; name=p.png\r\n\r\nPNG\r\n--out--\r\n");
    ASSERT_EQ(m.root.allParts.size(), 4u);
    EXPECT_TRUE(m.part(0).isMultipart);
    EXPECT_EQ(str(m.part(1).body), "plain");
    EXPECT_EQ(str(m.part(2).body), "html"); // the outer boundary ended it
    EXPECT_EQ(m.part(2).parent, &m.part(0));
    EXPECT_EQ(str(m.part(3).fileName), "p.png");
    EXPECT_EQ(m.part(3).parent, &m.root);
}

TEST(MimeNames, ParametersAndEncodedWords) {
    auto nameOf = [](const std::string& headers) {
        Parsed m("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + headers +
                 "\r\n\r\nx\r\n--b--\r\n");
        return m.root.allParts.empty() ? std::string("?") : str(m.part(0).fileName);
    };
    EXPECT_EQ(nameOf("Content-Disposition: attachment; filename=\"a;b.pdf\""), "a;b.pdf");
    EXPECT_EQ(nameOf("Content-Type: text/plain; name=a.txt\r\nContent-Disposition: inline; "
                     "filename=b.txt"),
              "b.txt");
    EXPECT_EQ(nameOf("Content-Disposition: inline; filename=b.txt\r\nContent-Type: text/plain; "
                     "name=a.txt"),
              "b.txt");
    EXPECT_EQ(nameOf("Content-Disposition: inline"), "");
    EXPECT_EQ(nameOf("Content-Disposition: attachment"), "attachment.txt");
    EXPECT_EQ(nameOf("Content-Type: text/plain; NAME = \"x=y.txt\" "), "x=y.txt");
    EXPECT_EQ(nameOf("Content-Disposition: attachment; filename==?utf-8?B?cmVwb3J0LnBkZg==?="),
              "report.pdf");
    EXPECT_EQ(nameOf("Content-Disposition: attachment; filename=\"=?utf-8?Q?r=C3=A9.pdf?=\""),
              "r\xC3\xA9.pdf");
    EXPECT_EQ(nameOf("Content-Disposition: attachment; filename=\"=?utf-8?B?\""), "=?utf-8?B?");
    EXPECT_EQ(nameOf("Content-Disposition: attachment; filename=\"x =?utf-8?B?YQ==?=\""), "x a");
    EXPECT_EQ(nameOf("Content-Disposition: attachment; filename*=utf-8''%C3%A9.txt"),
              "\xC3\xA9.txt");
}

TEST(MimeNames, TheDispositionsFilenameWinsOverTheTypesName) {
    struct Row {
        const char* what;
        const char* headers;
        const char* name;
        const char* charset;
    };
    const Row rows[] = {
        {"filename after name",
         "Content-Type: text/plain; name=a.txt\r\n"
         "Content-Disposition: attachment; filename=b.txt",
         "b.txt", ""},
        {"filename before name",
         "Content-Disposition: attachment; filename=b.txt\r\n"
         "Content-Type: text/plain; name=a.txt",
         "b.txt", ""},
        {"filename* before name*",
         "Content-Disposition: attachment; filename*=utf-8''b.txt\r\n"
         "Content-Type: text/plain; name*=koi8-r''a.txt",
         "b.txt", "utf-8"},
        {"filename* after name*",
         "Content-Type: text/plain; name*=koi8-r''a.txt\r\n"
         "Content-Disposition: attachment; filename*=utf-8''b.txt",
         "b.txt", "utf-8"},
        {"a plain filename beats an RFC 2231 name",
         "Content-Disposition: inline; filename=b.txt\r\n"
         "Content-Type: text/plain; name*=koi8-r''a.txt",
         "b.txt", ""},
        {"an encoded filename brings its charset",
         "Content-Type: text/plain; name=\"=?koi8-r?B?YS50eHQ=?=\"\r\n"
         "Content-Disposition: attachment; filename=\"=?utf-8?B?Yi50eHQ=?=\"",
         "b.txt", "utf-8"},
        {"a disposition without filename leaves the name",
         "Content-Disposition: attachment\r\nContent-Type: text/plain; name=a.txt", "a.txt", ""},
        {"an empty filename leaves the name",
         "Content-Disposition: attachment; filename=\"\"\r\nContent-Type: text/plain; name=a.txt",
         "a.txt", ""},
        {"of two filenames the later",
         "Content-Disposition: attachment; filename=b.txt\r\n"
         "Content-Type: text/plain; name=a.txt\r\n"
         "Content-Disposition: attachment; filename=c.txt",
         "c.txt", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Parsed m(std::string("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n") +
                 row.headers + "\r\n\r\nx\r\n--b--\r\n");
        ASSERT_EQ(m.root.allParts.size(), 1u);
        EXPECT_EQ(str(m.part(0).fileName), row.name);
        EXPECT_EQ(str(m.part(0).charset), row.charset);
    }
}

TEST(MimeNames, ABlankNameIsNoName) {
    struct Row {
        const char* what;
        const char* headers;
        const char* name;
    };
    const Row rows[] = {
        {"a blank type name", "Content-Type: text/html; name=\" \"", ""},
        {"a tab as filename",
         "Content-Type: text/plain\r\nContent-Disposition: inline; "
         "filename=\"\t\"",
         ""},
        {"an encoded word of a space", "Content-Type: text/plain; name=\"=?utf-8?B?IA==?=\"", ""},
        {"RFC 2231 spaces", "Content-Type: text/plain; name*=utf-8''%20%20", ""},
        {"a blank filename leaves the name",
         "Content-Type: text/plain; name=a.txt\r\n"
         "Content-Disposition: inline; filename=\" \"",
         "a.txt"},
        {"a blank RFC 2231 value leaves the plain one",
         "Content-Type: text/plain\r\nContent-Disposition: inline; filename*=utf-8''%20; "
         "filename=b.txt",
         "b.txt"},
        {"an attachment without a real name is named after its type",
         "Content-Type: application/pdf\r\nContent-Disposition: attachment; filename=\"  \"",
         "attachment.pdf"},
        {"blanks around a name stay with it", "Content-Type: text/plain; name=\" a.txt \"",
         " a.txt "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Parsed m(std::string("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n") +
                 row.headers + "\r\n\r\nbody text\r\n--b--\r\n");
        ASSERT_EQ(m.root.allParts.size(), 1u);
        EXPECT_EQ(str(m.part(0).fileName), row.name);
        EXPECT_EQ(m.part(0).isAttachment(), row.name[0] != '\0');
    }
}

TEST(MimeParse, MultipartWithFilenameIsNoAttachment) {
    Parsed m("Content-Type: multipart/mixed; boundary=o\r\n\r\n"
             "--o\r\nContent-Type: multipart/mixed; boundary=i\r\n"
             "Content-Disposition: attachment; filename=all.zip\r\n\r\npre\r\n"
             "--i\r\nContent-Type: text/plain; name=leaf.txt\r\n\r\nleaf\r\n--i--\r\n--o--\r\n");
    ASSERT_EQ(m.root.allParts.size(), 2u);
    EXPECT_EQ(str(m.part(0).fileName), "all.zip");
    EXPECT_FALSE(m.part(0).isAttachment());
    EXPECT_TRUE(m.part(1).isAttachment());
}

TEST(MimeParse, DeepNestingNeedsNoStack) {
    const int depth = 100000;
    std::string text;
    text.reserve(depth * 60);
    for (int i = 0; i < depth; ++i)
        text += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" +
                std::to_string(i) + "\r\n";
    text += "Content-Type: text/plain; name=deep.txt\r\n\r\ndeep\r\n--b99999--\r\n";
    Parsed m(text);
    ASSERT_EQ(m.root.allParts.size(), static_cast<size_t>(depth));
    MimePart& leaf = m.part(depth - 1);
    EXPECT_EQ(str(leaf.fileName), "deep.txt");
    EXPECT_EQ(str(leaf.body), "deep");
    m.plan.drop(leaf);
    const std::string out = m.cut();
    EXPECT_EQ(out.size(), text.size() - std::string("--b99999\r\nContent-Type: text/plain; "
                                                    "name=deep.txt\r\n\r\ndeep\r\n")
                                            .size());
    EXPECT_EQ(out.find("deep"), std::string::npos);
    EXPECT_NE(out.find("--b99999--\r\n"), std::string::npos);
}

TEST(MimeParse, LimitsMakeAMessageUnparseable) {
    std::string many = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (int i = 0; i <= MimePart::maxParts; ++i)
        many += "--b\r\n";
    many += "Content-Type: text/plain; name=x.txt\r\n\r\nx\r\n";
    Parsed parts(many);
    EXPECT_FALSE(parts.ok);
    EXPECT_TRUE(parts.root.isUnparseable());
    for (auto& p : parts.root.allParts)
        EXPECT_FALSE(p->isAttachment());

    std::string headers = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n";
    for (int i = 0; i <= MimePart::maxHeaders; ++i)
        headers += "X-H: 1\r\n";
    headers += "Content-Type: text/plain; name=x.txt\r\n\r\nx\r\n--b--\r\n";
    Parsed many_headers(headers);
    EXPECT_TRUE(many_headers.root.isUnparseable());
    ASSERT_FALSE(many_headers.root.allParts.empty());
    EXPECT_FALSE(many_headers.part(0).isAttachment());
}

// Removes the first occurrence of what from text; the test fails when it is not there.
std::string without(std::string text, const std::string& what) {
    const size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    if (at != std::string::npos)
        text.erase(at, what.size());
    return text;
}

TEST(MimeCut, TakesExactlyThePartsBytes) {
    Parsed m(mixed);
    m.plan.drop(m.part(1));
    const std::string pdf = "--XX\r\nContent-Type: application/pdf; name=\"r.pdf\"\r\n"
                            "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n";
    EXPECT_EQ(m.cut(), without(mixed, pdf)); // the epilogue stays
    m.plan.drop(m.part(0));
    EXPECT_EQ(m.cut(), without(without(mixed, pdf),
                               "--XX\r\nContent-Type: text/plain\r\n\r\nhello\r\nworld\r\n"));

    // Nothing dropped: the text as it was, bare LF and all.
    Parsed lf("Content-Type: multipart/mixed; boundary=b\n\n--b\n\nx\n--b--\n");
    EXPECT_EQ(lf.cut(), lf.text);
}

TEST(MimeCut, KeepsLineEndsEpiloguesAndTextBetweenBoundaries) {
    // LF only; text after the nested closing line and before the next outer boundary; an
    // epilogue; a last line without LF.
    const std::string text = "Content-Type: multipart/mixed; boundary=o\n\n"
                             "--o\nContent-Type: multipart/alternative; boundary=i\n\n"
                             "--i\n\nplain\n--i\n\nhtml\n--i--\nbetween the boundaries\n"
                             "--o\nContent-Type: image/png; name=p.png\n\nPNG\n"
                             "--o--\nthe epilogue";
    Parsed m(text);
    ASSERT_EQ(m.root.allParts.size(), 4u);
    m.plan.drop(m.part(3));
    EXPECT_EQ(m.cut(), without(text, "--o\nContent-Type: image/png; name=p.png\n\nPNG\n"));
}

TEST(MimeCut, SloppyPartsSurvive) {
    // A part of one header line and no blank line, a part of text without a blank line,
    // and a final line without LF must stay when another part is cut.
    Parsed m("Content-Type: multipart/mixed; boundary=b\r\n\r\n"
             "--b\r\nX-Empty: 1\r\n"
             "--b\r\njust some text\r\nmore text\r\n"
             "--b\r\nContent-Type: text/plain; name=cut.txt\r\n\r\ncut\r\n"
             "--b\r\n\r\nlast line without LF");
    ASSERT_EQ(m.root.allParts.size(), 4u);
    EXPECT_FALSE(m.part(0).headerIsWellFormed());
    // A line that is no header line begins the body, as in a mail reader.
    EXPECT_EQ(str(m.part(1).body), "just some text\r\nmore text");
    EXPECT_EQ(str(m.part(1).headerText), "");
    EXPECT_FALSE(m.part(1).headerIsWellFormed());
    EXPECT_TRUE(m.part(2).hasExactExtent());
    EXPECT_FALSE(m.part(3).hasExactExtent()); // no boundary line ended it
    m.plan.drop(m.part(2));
    EXPECT_EQ(m.cut(),
              without(m.text, "--b\r\nContent-Type: text/plain; name=cut.txt\r\n\r\ncut\r\n"));
}

TEST(MimeCut, OnlyPartsWithAnExactExtentAreCut) {
    const std::string open = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n";
    auto extentOf = [&](const std::string& rest) {
        Parsed m(open + rest);
        return !m.root.allParts.empty() && m.part(0).hasExactExtent();
    };
    EXPECT_TRUE(extentOf("Content-Type: text/plain; name=a\r\n\r\nx\r\n--b--\r\n"));
    // The blank line holds a space: the base64 lines are no header lines.
    EXPECT_FALSE(extentOf("Content-Type: text/plain; name=a\r\n \r\nQUJD\r\n--b--\r\n"));
    EXPECT_FALSE(extentOf("Content-Type: text/plain; name=a\r\nQUJD\r\n--b--\r\n"));
    EXPECT_FALSE(extentOf("Content-Type: text/plain; name=a\r\n\r\nx\r\n")); // never closed
    // A damaged header block above makes every part below it uncertain.
    EXPECT_FALSE(
        extentOf("Content-Type: multipart/mixed; boundary=i\r\nbroken line\r\n"
                 "--i\r\nContent-Type: text/plain; name=a\r\n\r\nx\r\n--i--\r\n--b--\r\n"));
    Parsed rootDamaged("Subject: x\r\nno colon\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
                       "--b\r\n\r\nx\r\n--b--\r\n");
    EXPECT_FALSE(rootDamaged.ok);

    // A dropped part without an exact extent refuses the whole cut.
    Parsed m(open + "Content-Type: text/plain; name=a\r\n\r\nx\r\n");
    m.plan.drop(m.part(0));
    EXPECT_EQ(m.cut(), "!");
}

TEST(MimeCut, TheCheckFindsAnyOtherChange) {
    Parsed m(mixed);
    m.plan.drop(m.part(1));
    Block good;
    ASSERT_TRUE(spliceOutDropped(m.root, m.plan, m.block, good));
    EXPECT_TRUE(cutKeepsTheRest(m.root, m.plan, good));
    std::string changed = str(good);
    changed[changed.find("world")] = 'W';
    EXPECT_FALSE(cutKeepsTheRest(m.root, m.plan, view(changed)));
    // The dropped part still there.
    EXPECT_FALSE(cutKeepsTheRest(m.root, m.plan, view(m.text)));
    // A kept part gone.
    EXPECT_FALSE(cutKeepsTheRest(m.root, CutPlan(m.root), good));
}

// Random trees of parts: whatever is dropped, the cut text is the original without the
// dropped parts' texts, it parses into the same tree without them, and every kept body
// and header block is byte-identical.
TEST(MimeCut, RandomTreesRoundTrip) {
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        int counter = 0;
        std::map<int, std::string> leafTexts; // by id: from its boundary line to the next
        std::function<std::string(int, const std::string&)> part = [&](int depth,
                                                                       const std::string& eol) {
            const int id = counter++;
            if (depth < 3 && random() % 3 == 0) {
                const std::string b = "bnd" + std::to_string(id);
                std::string s = "Content-Type: multipart/mixed; boundary=" + b + eol + eol;
                if (random() % 2)
                    s += "preamble " + std::to_string(id) + eol;
                const int n = 1 + random() % 3;
                for (int i = 0; i < n; ++i) {
                    const int childId = counter;
                    const std::string child = "--" + b + eol + part(depth + 1, eol);
                    if (leafTexts.count(childId))
                        leafTexts[childId] = child;
                    s += child;
                }
                s += "--" + b + "--" + eol;
                if (random() % 2)
                    s += "epilogue " + std::to_string(id) + eol;
                return s;
            }
            leafTexts[id] = "";
            return "Content-Type: text/plain; name=f" + std::to_string(id) + ".txt" + eol + eol +
                   "body " + std::to_string(id) + eol + "line two" + eol;
        };
        const std::string eol = random() % 2 ? "\r\n" : "\n";
        Parsed m("Subject: r" + eol + part(0, eol));
        ASSERT_TRUE(m.ok);
        std::string expected = m.text;
        for (auto& p : m.root.allParts) {
            if (!p->isAttachment() || random() % 2)
                continue;
            m.plan.drop(*p);
            const int id = std::stoi(str(p->fileName).substr(1));
            ASSERT_FALSE(leafTexts[id].empty()) << m.text;
            expected = without(expected, leafTexts[id]);
        }
        EXPECT_EQ(m.cut(), expected);
    }
}

TEST(MimeParse, AnMboxFromLineIsNoHeader) {
    Parsed m("From someone@example.org Sat Jan  3 01:05:34 1996\r\n"
             "Subject: x\r\nContent-Type: text/plain; name=scan.pdf\r\n\r\nbody");
    EXPECT_TRUE(m.ok);
    EXPECT_EQ(str(m.root.headerText), "Subject: x\r\nContent-Type: text/plain; name=scan.pdf\r\n");
    EXPECT_EQ(str(m.root.fileName), "scan.pdf");
    // Only before the headers: a header named "From" is a header.
    Parsed header("From: a@b\r\n\r\nbody");
    EXPECT_EQ(str(header.root.headerText), "From: a@b\r\n");
}

TEST(MimeParse, AMessageNamedByItsOwnHeadersIsAnAttachment) {
    Parsed scan("Content-Type: application/pdf\r\nContent-Disposition: attachment; "
                "filename=scan.pdf\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD\r\n");
    EXPECT_TRUE(scan.root.isAttachment());
    Parsed plain("Subject: hi\r\n\r\nbody\r\n");
    EXPECT_FALSE(plain.root.isAttachment());
    EXPECT_TRUE(plain.root.isText());
}

TEST(MimeNames, AnUnnamedAttachmentIsNamedAfterItsType) {
    auto nameOf = [](const std::string& headers) {
        Parsed m("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + headers +
                 "\r\n\r\nx\r\n--b--\r\n");
        return str(m.part(0).fileName);
    };
    EXPECT_EQ(nameOf("Content-Type: application/pdf\r\nContent-Disposition: attachment"),
              "attachment.pdf");
    EXPECT_EQ(nameOf("Content-Type: IMAGE/JPEG\r\nContent-Disposition: Attachment;"),
              "attachment.jpg");
    EXPECT_EQ(nameOf("Content-Type: application/x-unheard-of\r\nContent-Disposition: attachment"),
              "attachment");
    EXPECT_EQ(nameOf("Content-Type: application/pdf\r\nContent-Disposition: inline"), "");
    EXPECT_EQ(nameOf("Content-Type: application/pdf\r\nContent-Disposition: attachment; "
                     "filename=\"\"; x=1"),
              "attachment.pdf");
}

namespace {

const std::string forwarded = "Subject: fw\r\nContent-Type: multipart/mixed; boundary=o\r\n\r\n"
                              "--o\r\nContent-Type: text/plain\r\n\r\nsee below\r\n"
                              "--o\r\nContent-Type: message/rfc822\r\n\r\n"
                              "Subject: inner\r\nContent-Type: multipart/mixed; boundary=i\r\n\r\n"
                              "--i\r\nContent-Type: text/plain\r\n\r\nold text\r\n"
                              "--i\r\nContent-Type: image/png; name=in.png\r\n\r\nPNG\r\n"
                              "--i--\r\n"
                              "--o--\r\n";

} // namespace

TEST(MimeParse, AForwardedMessageIsReadAsAMessage) {
    Parsed m(forwarded);
    ASSERT_TRUE(m.ok);
    ASSERT_EQ(m.root.allParts.size(), 5u);
    MimePart& carrier = m.part(1);
    EXPECT_TRUE(carrier.carriesMessage);
    EXPECT_FALSE(carrier.isAttachment()); // no name: walked, not saved whole
    ASSERT_EQ(carrier.children.size(), 1u);
    MimePart& inner = *carrier.children[0];
    EXPECT_EQ(str(inner.headerText),
              "Subject: inner\r\nContent-Type: multipart/mixed; boundary=i\r\n");
    EXPECT_EQ(inner.partStart, -1); // no boundary line opens it: never cut itself
    // The carrier's body is the whole forwarded message, as it would be saved.
    EXPECT_EQ(str(carrier.body),
              forwarded.substr(forwarded.find("Subject: inner"),
                               forwarded.find("--o--") - 2 - forwarded.find("Subject: inner")));
    EXPECT_EQ(str(m.part(4).fileName), "in.png");
    EXPECT_TRUE(m.part(4).hasExactExtent());
    EXPECT_FALSE(m.part(4).isInsideAttachment());

    // Named, the forward is an attachment with its message below it, and its parts are
    // inside an attachment.
    std::string named = forwarded;
    named.replace(named.find("message/rfc822"), 14, "message/rfc822; name=fw.eml");
    Parsed n(named);
    EXPECT_TRUE(n.part(1).isAttachment());
    EXPECT_TRUE(n.part(4).isInsideAttachment());
    EXPECT_FALSE(n.part(4).bodyIsExact());

    // Encoded, it stays a leaf.
    std::string encoded = forwarded;
    encoded.replace(encoded.find("message/rfc822\r\n"), 16,
                    "message/rfc822\r\nContent-Transfer-Encoding: base64\r\n");
    Parsed e(encoded);
    EXPECT_FALSE(e.part(1).carriesMessage);
    EXPECT_TRUE(e.part(1).children.empty());
}

TEST(MimeCut, AForwardedMessageLosesExactlyItsCutPart) {
    Parsed m(forwarded);
    m.plan.drop(m.part(4));
    const std::string inPart = "--i\r\nContent-Type: image/png; name=in.png\r\n\r\nPNG\r\n";
    std::string expected = forwarded;
    expected.erase(expected.find(inPart), inPart.size());
    EXPECT_EQ(m.cut(), expected);
}

TEST(MimeCut, ARangeOfATextBodyIsCutExactly) {
    const std::string text = "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                             "--b\r\nContent-Type: text/plain\r\n\r\nHello\r\nBLOCK\r\nBye\r\n"
                             "--b\r\nContent-Type: text/plain\r\n\r\nsecond\r\n--b--\r\n";
    const int64_t block = int64_t(text.find("BLOCK"));
    {
        Parsed m(text);
        m.plan.dropFromBody(m.part(0), 7, 14);
        EXPECT_EQ(m.cut(), std::string(text).erase(size_t(block), 7));
    }
    {
        // A range outside the body, or in a body whose place is not exact, is refused.
        Parsed m(text);
        EXPECT_FALSE(
            m.plan.dropFromBody(m.part(0), 7, int64_t(text.find("second")) - m.part(0).bodyStart));
        EXPECT_FALSE(m.plan.dropFromBody(m.part(0), -1, 3));
        EXPECT_EQ(m.cut(), text);
    }
    {
        // A root without its blank line: its body's place is not known.
        Parsed m("Subject: x\r\nnot a header\r\nBLOCK\r\n");
        ASSERT_TRUE(m.plan.dropFromBody(m.root, 14, 19));
        EXPECT_EQ(m.cut(), "!");
    }
    {
        // A cut that reaches the end of the text leaves exactly what was before it: the
        // body ended by the text's end holds every byte up to it.
        struct Row {
            const char* body;
            int64_t start, end;
            const char* rest;
        };
        const Row rows[] = {
            {"Hello\r\nBLOCK", 7, 12, "Hello\r\n"},
            {"Hello\r\nBLOCK", 0, 12, ""},
            {"Hello\r\nBLOCK\r\n", 7, 14, "Hello\r\n"},
            {"Hello\r\nBLOCK\r\n", 7, 12, "Hello\r\n\r\n"},
            {"Hello\r\r\nBLOCK", 8, 13, "Hello\r\r\n"},
            {"Hello\r\n\nBLOCK", 8, 13, "Hello\r\n\n"},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::PrintToString(std::string(row.body)));
            Parsed m(std::string("Subject: x\r\n\r\n") + row.body);
            ASSERT_TRUE(m.plan.dropFromBody(m.root, row.start, row.end));
            EXPECT_EQ(m.cut(), std::string("Subject: x\r\n\r\n") + row.rest);
        }
        // Two cuts in a row, the second ending the text.
        Parsed two("Subject: x\r\n\r\nHello\r\nONE\r\nTWO");
        ASSERT_TRUE(two.plan.dropFromBody(two.root, 7, 12));
        ASSERT_TRUE(two.plan.dropFromBody(two.root, 12, 15));
        EXPECT_EQ(two.cut(), "Subject: x\r\n\r\nHello\r\n");
    }
    {
        // The check fails when the cut text does not give the body less the range.
        Parsed m(text);
        m.plan.dropFromBody(m.part(0), 7, 14);
        Block out;
        ASSERT_TRUE(spliceOutDropped(m.root, m.plan, m.block, out));
        std::string changed = str(out);
        changed[changed.find("Bye")] = 'b';
        auto changedView = view(changed);
        EXPECT_FALSE(cutKeepsTheRest(m.root, m.plan, changedView));
        std::string whole = text;
        auto wholeView = view(whole);
        EXPECT_FALSE(cutKeepsTheRest(m.root, m.plan, wholeView));
    }
}

TEST(MimeParse, ADigestsPartsAreMessagesUnlessTyped) {
    const std::string inner = "Subject: one\r\nContent-Type: multipart/mixed; boundary=i\r\n\r\n"
                              "--i\r\nContent-Type: image/png; name=in.png\r\n\r\nPNG\r\n--i--\r\n";
    struct Row {
        const char* what;
        std::string outerType;
        std::string partHeaders;
        const char* mediaType; // of the outer part
        bool readAsMessage;
    };
    const Row rows[] = {
        {"a digest's untyped part is a message", "multipart/digest", "", "message/rfc822", true},
        {"its type is compared in lower case", "Multipart/Digest", "", "message/rfc822", true},
        {"a part typed text stays text", "multipart/digest", "Content-Type: text/plain\r\n",
         "text/plain", false},
        {"an encoded untyped part is a message kept whole", "multipart/digest",
         "Content-Transfer-Encoding: base64\r\n", "message/rfc822", false},
        {"in a mixed, an untyped part is text", "multipart/mixed", "", "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Parsed m("Content-Type: " + row.outerType + "; boundary=d\r\n\r\n--d\r\n" +
                 row.partHeaders + "\r\n" + inner + "--d--\r\n");
        ASSERT_TRUE(m.ok);
        EXPECT_EQ(m.part(0).mediaType, row.mediaType);
        EXPECT_EQ(m.part(0).carriesMessage, row.readAsMessage);
        // Read as a message, the picture inside is found like any attachment.
        const bool found = m.root.allParts.size() == 3 && str(m.part(2).fileName) == "in.png";
        EXPECT_EQ(found, row.readAsMessage);
    }
}

TEST(MimeParse, ABodyEndedByTheTextsEndKeepsItsLastLineBreak) {
    struct Row {
        const char* what;
        std::string text;
        int part; // -1: the root
        const char* body;
    };
    const std::string mixed = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                              "Content-Type: text/plain; name=a.txt\r\n\r\n";
    const Row rows[] = {
        {"a message that is the file", "Content-Type: text/plain; name=a.txt\n\nline1\nline2\n", -1,
         "line1\nline2\n"},
        {"the same with CR LF", "Subject: x\r\n\r\nline1\r\nline2\r\n", -1, "line1\r\nline2\r\n"},
        {"no last line break", "Subject: x\r\n\r\nline1\r\nline2", -1, "line1\r\nline2"},
        {"a lone CR at the end", "Subject: x\r\n\r\nline1\r", -1, "line1\r"},
        {"an empty last line", "Subject: x\r\n\r\n\r\n", -1, "\r\n"},
        {"no body line", "Subject: x\r\n\r\n", -1, ""},
        {"a damaged header block", "Subject: x\r\nno header\r\n", -1, "no header\r\n"},
        {"a boundary line takes the break before it", mixed + "line1\nline2\n--b--\r\n", 0,
         "line1\nline2"},
        {"a preamble ends at the first boundary", mixed + "x\r\n--b--\r\n", -1, ""},
        {"a part never closed", mixed + "line1\r\n", 0, "line1\r\n"},
        {"the epilogue is no body", mixed + "x\r\n--b--\r\nafter\r\n", 0, "x"},
        {"a forwarded message that is the text",
         "Content-Type: message/rfc822\r\n\r\nSubject: in\r\n\r\nline\r\n", 0, "line\r\n"},
        {"and the part that carries it",
         "Content-Type: message/rfc822\r\n\r\nSubject: in\r\n\r\nline\r\n", -1,
         "Subject: in\r\n\r\nline\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Parsed m(row.text);
        const MimePart& part = row.part < 0 ? m.root : m.part(size_t(row.part));
        EXPECT_EQ(str(part.body), row.body);
    }
    // What is saved of a message that is the file.
    Parsed file("Content-Type: text/plain; name=a.txt\n\nline1\nline2\n");
    Block out;
    EXPECT_TRUE(decodeContent(file.root, out));
    EXPECT_EQ(str(out), "line1\nline2\n");
}

TEST(MimeParse, AMessageOfHeadersOnlyIsNamedAsWithAnEmptyBody) {
    struct Row {
        const char* headers;
        const char* name;
    };
    const Row rows[] = {
        {"Content-Type: text/plain; name=a.txt", "a.txt"},
        {"Content-Disposition: attachment; filename=scan.pdf\r\nContent-Type: application/pdf\r\n"
         "Content-Transfer-Encoding: base64",
         "scan.pdf"},
        {"Content-Type: application/pdf\r\nContent-Disposition: attachment", "attachment.pdf"},
        {"Subject: no name", ""},
    };
    for (const Row& row : rows) {
        for (const char* ending : {"", "\r\n", "\r\n\r\n"}) {
            SCOPED_TRACE(std::string(row.headers) + testing::PrintToString(std::string(ending)));
            Parsed m(std::string(row.headers) + ending);
            EXPECT_TRUE(m.ok);
            EXPECT_EQ(str(m.root.fileName), row.name);
            EXPECT_EQ(m.root.isAttachment(), row.name[0] != '\0');
            Block out;
            EXPECT_TRUE(decodeContent(m.root, out));
            EXPECT_EQ(out.byteSize(), 0);
        }
    }
    // A part the text ends in its headers is named too; it stays uncut (no boundary ended it).
    Parsed part("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                "Content-Type: text/plain; name=a.txt\r\n");
    ASSERT_EQ(part.root.allParts.size(), 1u);
    EXPECT_EQ(str(part.part(0).fileName), "a.txt");
    EXPECT_FALSE(part.part(0).hasExactExtent());
    // Headers the text ends that name a boundary and then fail (a second, empty boundary)
    // make a damaged block whose boundary was never in use.
    for (const char* ending : {"", "\r\n"}) {
        Parsed damaged(std::string("Content-Type: multipart/mixed; boundary=a\r\n"
                                   "Content-Type: multipart/mixed; boundary=\"\"") +
                       ending);
        EXPECT_FALSE(damaged.ok);
        EXPECT_EQ(damaged.root.headerBlock, HeaderBlock::Damaged);
    }
}
