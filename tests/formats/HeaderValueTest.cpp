#include "formats/HeaderValue.h"

#include <gtest/gtest.h>

using TOVK_Internet::HeaderValue;

namespace {

struct Decoded {
    std::string bytes;
    std::string charset;
    bool operator==(const Decoded&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Decoded& d) {
    return out << '"' << d.bytes << "\" in \"" << d.charset << '"';
}

Decoded words(const std::string& text) {
    Decoded d;
    HeaderValue::decodeEncodedWords(text, d.bytes, d.charset);
    return d;
}

// The value and charset of a parameter of "attachment; ...".
Decoded parameter(const std::string& parameters, const char* name = "filename") {
    const HeaderValue value("attachment; " + parameters);
    const auto* found = value.parameter(name);
    return found ? Decoded{found->value, found->charset} : Decoded{"<none>", ""};
}

} // namespace

TEST(EncodedWords, BAndQAnywhereInTheValue) {
    EXPECT_EQ(words("=?utf-8?B?cmVwb3J0LnBkZg==?="), (Decoded{"report.pdf", "utf-8"}));
    EXPECT_EQ(words("=?UTF-8?b?cmVwb3J0?="), (Decoded{"report", "UTF-8"}));
    // Q: "_" is a space; a word may begin with an escape (its end is searched after the
    // third "?", not from the start).
    EXPECT_EQ(words("=?iso-8859-1?Q?=C4nderungen.doc?="),
              (Decoded{"\xC4nderungen.doc", "iso-8859-1"}));
    EXPECT_EQ(words("=?iso-8859-1?q?Pr=E4sentation_1.ppt?="),
              (Decoded{"Pr\xE4sentation 1.ppt", "iso-8859-1"}));
    // Mixed with plain text, before and after.
    EXPECT_EQ(words("Copy of =?utf-8?Q?R=C3=A9sum=C3=A9?= (2).txt"),
              (Decoded{"Copy of R\xC3\xA9sum\xC3\xA9 (2).txt", "utf-8"}));
    // An RFC 2231 language in the charset is not part of it.
    EXPECT_EQ(words("=?utf-8*en?Q?a.txt?="), (Decoded{"a.txt", "utf-8"}));
    EXPECT_EQ(words("plain.txt"), (Decoded{"plain.txt", ""}));
}

TEST(EncodedWords, BlanksBetweenAdjacentWordsAreDropped) {
    EXPECT_EQ(words("=?utf-8?Q?R=C3=A9sum=C3=A9?= =?utf-8?Q?_2.txt?="),
              (Decoded{"R\xC3\xA9sum\xC3\xA9 2.txt", "utf-8"}));
    // A folded line has become one blank, or several, or a tab.
    EXPECT_EQ(words("=?utf-8?B?YWI=?=  \t =?utf-8?B?Yy5k?="), (Decoded{"abc.d", "utf-8"}));
    // Blanks next to plain text stay; the first word's charset is the one given.
    EXPECT_EQ(words("=?koi8-r?B?YQ==?= b =?utf-8?B?Yw==?="), (Decoded{"a b c", "koi8-r"}));
}

TEST(EncodedWords, AMalformedWordStaysAsWritten) {
    EXPECT_EQ(words("=?utf-8?B?"), (Decoded{"=?utf-8?B?", ""}));
    EXPECT_EQ(words("=?utf-8?X?abc?="), (Decoded{"=?utf-8?X?abc?=", ""}));
    EXPECT_EQ(words("=??B?YQ==?="), (Decoded{"=??B?YQ==?=", ""}));
    EXPECT_EQ(words("=?utf-8?B?not*base64?="), (Decoded{"=?utf-8?B?not*base64?=", ""}));
    // A malformed word does not stop the next one from being decoded.
    EXPECT_EQ(words("=?x?B?!?= =?utf-8?B?YQ==?="), (Decoded{"=?x?B?!?= a", "utf-8"}));
    EXPECT_EQ(words("50%=?"), (Decoded{"50%=?", ""}));
}

TEST(HeaderParameters, QuotedValues) {
    EXPECT_EQ(parameter("filename=\"a;b.pdf\""), (Decoded{"a;b.pdf", ""}));
    EXPECT_EQ(parameter("filename=\"x=y.txt\"; size=3"), (Decoded{"x=y.txt", ""}));
    EXPECT_EQ(parameter("filename=\"say \\\"hi\\\".txt\""), (Decoded{"say \"hi\".txt", ""}));
    // A backslash before anything but a quote or a backslash is a DOS path's, and stays.
    EXPECT_EQ(parameter("filename=\"C:\\TEMP\\nsmailEG.png\""),
              (Decoded{"C:\\TEMP\\nsmailEG.png", ""}));
    EXPECT_EQ(parameter("filename=\"C:\\\\TEMP\\\\x.png\""), (Decoded{"C:\\TEMP\\x.png", ""}));
    // Unquoted: blanks around it go; an unmatched quote is dropped.
    EXPECT_EQ(parameter("FileName = my file.txt ; x=1"), (Decoded{"my file.txt", ""}));
    EXPECT_EQ(parameter("filename=\"open.txt"), (Decoded{"open.txt", ""}));
    EXPECT_EQ(parameter("filename=shut.txt\""), (Decoded{"shut.txt", ""}));
    EXPECT_EQ(parameter("name=a.txt"), (Decoded{"<none>", ""}));
    // Encoded words inside quotes, as most mailers write them.
    EXPECT_EQ(parameter("filename=\"=?utf-8?B?w6kudHh0?=\""), (Decoded{"\xC3\xA9.txt", "utf-8"}));

    const HeaderValue type(" Multipart/Mixed ; boundary=\"a;b\" ; x");
    EXPECT_EQ(type.leadingToken(), "Multipart/Mixed");
    ASSERT_NE(type.parameter("BOUNDARY"), nullptr);
    EXPECT_EQ(type.parameter("boundary")->value, "a;b");
    // A boundary that looks like an encoded word is a boundary all the same.
    EXPECT_EQ(
        HeaderValue("multipart/mixed; boundary=\"=?utf-8?B?YQ==?=\"").parameter("boundary")->value,
        "=?utf-8?B?YQ==?=");
    ASSERT_NE(type.parameter("x"), nullptr);
    EXPECT_FALSE(type.parameter("x")->hasValue);
    EXPECT_EQ(HeaderValue("text/plain; a=\"b;c\"; d").leadingToken(), "text/plain");
}

TEST(HeaderParameters, Rfc2231) {
    EXPECT_EQ(parameter("filename*=utf-8''%E2%82%AC%20rates.txt"),
              (Decoded{"\xE2\x82\xAC rates.txt", "utf-8"}));
    EXPECT_EQ(parameter("filename*=iso-8859-1'de'Pr%E4sentation.ppt"),
              (Decoded{"Pr\xE4sentation.ppt", "iso-8859-1"}));
    // Continuations joined in order, whatever order they come in; only "*N*" sections
    // are percent-encoded, and the charset comes with the first.
    EXPECT_EQ(parameter("filename*1*=%20b; filename*0*=utf-8''a%C3%A9; filename*2=\" c%20.txt\""),
              (Decoded{"a\xC3\xA9 b c%20.txt", "utf-8"}));
    EXPECT_EQ(parameter("filename*0=\"long \"; filename*1=\"name.pdf\""),
              (Decoded{"long name.pdf", ""}));
    // A missing section ends the value.
    EXPECT_EQ(parameter("filename*0=a; filename*2=c"), (Decoded{"a", ""}));
    // The RFC 2231 value wins over a plain one, whichever comes first.
    EXPECT_EQ(parameter("filename=old.txt; filename*=utf-8''new.txt"),
              (Decoded{"new.txt", "utf-8"}));
    EXPECT_EQ(parameter("filename*=utf-8''new.txt; filename=old.txt"),
              (Decoded{"new.txt", "utf-8"}));
    EXPECT_EQ(parameter("filename*=utf-8''; filename=old.txt"), (Decoded{"old.txt", ""}));
    // Without the charset quotes the value is taken as it decodes; bad escapes stay.
    EXPECT_EQ(parameter("filename*=a%zz%41.txt"), (Decoded{"a%zzA.txt", ""}));
    // Boundaries are read the same way.
    EXPECT_EQ(HeaderValue("multipart/mixed; boundary*0=\"ab\"; boundary*1=\"cd\"")
                  .parameter("boundary")
                  ->value,
              "abcd");
}

TEST(HeaderParameters, BrokenQuotingAndContinuationsGiveTheReadablePartOfTheValue) {
    struct Row {
        const char* what;
        const char* parameters;
        Decoded filename;
    };
    const std::string one = "\xE4\xB8\x80", two = "\xE4\xBA\x8C"; // in UTF-8
    const Row rows[] = {
        {"encoded words in continuations",
         "filename*0=\"=?UTF-8?B?5LiA?=\"; filename*1=\"=?UTF-8?B?5LqM?=\"",
         {one + two, "UTF-8"}},
        {"an encoded word split between sections",
         "filename*0=\"=?UTF-8?B?5Li\"; filename*1=\"A5LqM?=.txt\"",
         {one + two + ".txt", "UTF-8"}},
        {"a section whose quote the next one closes",
         "filename*0=\"=?UTF-8?B?5LiA?=; filename*1=\"=?UTF-8?B?5LqM?=\"",
         {one + two, "UTF-8"}},
        {"sections counted from 1",
         "filename*1=\"report\"; filename*2=\".pdf\"",
         {"report.pdf", ""}},
        {"a quote never closed", "filename=\"abc.pdf; size=123", {"abc.pdf", ""}},
        {"doubled quotes", "filename=\"\"abc.pdf\"\"; size=3", {"abc.pdf", ""}},
        {"quotes inside, unescaped",
         "filename=\"Report \"final\".pdf\"; size=1",
         {"Report final.pdf", ""}},
        {"text after the closing quote is noise", "filename=\"a.pdf\"size=3; x=1", {"a.pdf", ""}},
        {"the next parameter's quote closing this one",
         "filename=\"abc.pdf; name=\"x.txt\"",
         {"abc.pdf", ""}},
        // Quoted as it should be, a name may hold what looks like a parameter.
        {"a quoted name with a semicolon and an equals sign",
         "filename=\"a; b=c.txt\"",
         {"a; b=c.txt", ""}},
        {"an RFC 2231 charset keeps its words as written",
         "filename*0*=utf-8''%3D%3F; filename*1=x",
         {"=?x", "utf-8"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(parameter(row.parameters), row.filename);
    }
    // The parameters after a broken one are read as themselves.
    const HeaderValue value("attachment; filename=\"abc.pdf; size=123; name=\"x.txt\"");
    ASSERT_NE(value.parameter("size"), nullptr);
    EXPECT_EQ(value.parameter("size")->value, "123");
    ASSERT_NE(value.parameter("name"), nullptr);
    EXPECT_EQ(value.parameter("name")->value, "x.txt");
}
