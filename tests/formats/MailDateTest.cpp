#include "formats/MailDate.h"

#include <gtest/gtest.h>

#include <string>

using TOVK_Internet::isoDateTime;
using TOVK_Internet::parseMailDate;

namespace {

// Each line: a Date header's text and the moment it names in UTC, or "" for no date.
TEST(MailDateTest, TheFormsFoundInMail) {
    struct Case {
        const char* text;
        const char* utc;
    };
    const Case cases[] = {
        {"Mon, 2 Jan 2006 15:04:05 +0100", "2006-01-02T14:04:05Z"},
        {"2 Jan 2006 15:04:05 -0730", "2006-01-02T22:34:05Z"},     // no day of the week
        {"Mon, 02 Jan 2006 15:04 +0000", "2006-01-02T15:04:00Z"},  // no seconds
        {"Thu, 31 Dec 1998 23:59:60 GMT", "1998-12-31T23:59:59Z"}, // a leap second
        {"Fri, 1 Mar 02 08:00:00 EST", "2002-03-01T13:00:00Z"},    // two-digit year, zone name
        {"Tue, 5 Aug 97 12:00:00 PDT", "1997-08-05T19:00:00Z"},
        {"Wed, 1 Jan 103 00:00:00 UT", "2003-01-01T00:00:00Z"},          // three-digit year
        {"Sat, 29 Feb 2020 10:00:00 Z", "2020-02-29T10:00:00Z"},         // military letter
        {"Sun, 1 Jan 2012 01:00:00", "2012-01-01T01:00:00Z"},            // no zone: UTC
        {"Mon,2 Jan 2006 15:04:05 +0100 (CET)", "2006-01-02T14:04:05Z"}, // a comment
        {"  Monday,  2  January  2006  15:04:05  +0100 ", "2006-01-02T14:04:05Z"},
        {"Mon Jan  2 15:04:05 2006", "2006-01-02T15:04:05Z"},  // asctime order
        {"1 Jan 1970 00:00:00 +0100", "1969-12-31T23:00:00Z"}, // before 1970
        {"", ""},
        {"yesterday", ""},
        {"Mon, 2 Jan 2006", ""},            // no time
        {"31 Feb 2006 10:00:00 +0000", ""}, // no such day
        {"29 Feb 2100 10:00:00 +0000", ""}, // not a leap year
        {"2 Foo 2006 10:00:00 +0000", ""},
        {"2 Jan 2006 25:00:00 +0000", ""},
        {"2 Jan 2006 10:61:00 +0000", ""},
        {"2 Jan 2006 10:00:00 +0199", "2006-01-02T10:00:00Z"}, // a zone not understood: UTC
    };
    for (const Case& c : cases) {
        int64_t seconds = 0;
        const bool parsed = parseMailDate(c.text, seconds);
        EXPECT_EQ(parsed ? isoDateTime(seconds) : std::string(), c.utc) << c.text;
    }
}

TEST(MailDateTest, IsoTextOfKnownMoments) {
    EXPECT_EQ(isoDateTime(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(isoDateTime(951782400), "2000-02-29T00:00:00Z");
    EXPECT_EQ(isoDateTime(-1), "1969-12-31T23:59:59Z");
    EXPECT_EQ(isoDateTime(4102444799), "2099-12-31T23:59:59Z");
}

} // namespace
