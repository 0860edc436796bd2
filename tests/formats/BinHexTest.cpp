// BinHex 4.0 files as Macintosh mailers sent them, and every way one can be damaged.
#include "formats/BinHex.h"

#include "BinHexWriter.h"
#include "MimeTestUtil.h"

#include <gtest/gtest.h>

using namespace TOVK_Internet;
using namespace DbxTest;

namespace {

struct Outcome {
    bool found;
    bool clean;
    std::string name;
    std::string data;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << (o.found ? "found" : "not found") << (o.clean ? " clean " : " unclean ") << '"'
               << o.name << "\" " << o.data.size() << " bytes";
}

Outcome decoded(const std::string& text) {
    TOVK_Utils::Block out;
    const BinHexFile file = BinHex::decode(text, out);
    return {file.found, file.clean, file.name, str(out)};
}

std::string replaced(std::string text, const std::string& what, const std::string& with) {
    const size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    if (at != std::string::npos)
        text.replace(at, what.size(), with);
    return text;
}

std::string sample(size_t n) {
    std::string data(n, '\0');
    for (size_t i = 0; i < n; ++i)
        data[i] = char(i % 7 == 0 ? 0x90 : i < n / 2 ? 0 : i * 13);
    return data;
}

} // namespace

TEST(BinHexTest, TheWritersCrcIsXmodems) {
    EXPECT_EQ(binHexCrc("123456789"), 0x31C3);
}

TEST(BinHexTest, FilesAndTheirDamage) {
    const std::string data = sample(1000);
    const BinHexForks forks{"blueball.png", data, "resource fork"};
    const std::string good = binHex(forks);
    const std::string stream = binHexStream(forks);
    std::string badData = stream, badHeader = stream, badResource = stream;
    badData[40] ^= 1;  // a byte of the data fork; its CRC no longer holds
    badHeader[3] ^= 1; // a letter of the name
    badResource[stream.size() - 5] ^= 1;
    const size_t header = 22 + forks.name.size(); // where the data fork starts
    std::string changedData = data;
    changedData[40 - header] ^= 1;
    struct Row {
        const char* what;
        std::string text;
        Outcome outcome;
    };
    const Row rows[] = {
        {"a whole file", good, {true, true, "blueball.png", data}},
        {"LF line breaks", binHex(forks, "\n"), {true, true, "blueball.png", data}},
        {"an empty data fork", binHex({"Icon", "", "only a resource"}), {true, true, "Icon", ""}},
        {"empty forks", binHex({"x", "", ""}), {true, true, "x", ""}},
        {"white space after the closing colon",
         good + " \r\n\r\n",
         {true, true, "blueball.png", data}},
        {"a note before the marker line",
         "Here it is:\r\n" + good,
         {true, false, "blueball.png", data}},
        {"no marker line", good.substr(good.find(':')), {true, false, "blueball.png", data}},
        {"text after the data", good + "-- \r\nsignature\r\n", {true, false, "blueball.png", data}},
        {"no closing colon", good.substr(0, good.rfind(':')), {true, false, "blueball.png", data}},
        {"a character outside the alphabet",
         replaced(good, ":", ":~"),
         {true, false, "blueball.png", data}},
        {"the data fork's CRC fails",
         binHexText(binHexRuns(badData)),
         {true, false, "blueball.png", changedData}},
        {"the header's CRC fails",
         binHexText(binHexRuns(badHeader)),
         {true, false, "blteball.png", data}},
        {"the resource fork's CRC fails",
         binHexText(binHexRuns(badResource)),
         {true, false, "blueball.png", data}},
        {"a byte after the last CRC",
         binHexText(binHexRuns(stream + "x")),
         {true, false, "blueball.png", data}},
        {"cut off in the data fork",
         binHexText(binHexRuns(stream.substr(0, 500))),
         {true, false, "blueball.png", stream.substr(header, 500 - header)}},
        {"cut off in the header",
         binHexText(binHexRuns(stream.substr(0, 20))),
         {false, false, "", ""}},
        {"a name of length 0",
         binHexText(binHexRuns(std::string(1, '\0') + stream.substr(1))),
         {false, false, "", ""}},
        {"no colon at all",
         "(This file must be converted with BinHex 4.0)\r\n",
         {false, false, "", ""}},
        {"a colon inside a line only", "Note: no BinHex here\r\n", {false, false, "", ""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(decoded(row.text), row.outcome);
    }
}

TEST(BinHexTest, HeaderFieldsAreRead) {
    TOVK_Utils::Block out;
    const BinHexFile file = BinHex::decode(binHex({"Read Me", "abc", "rsrc", "TEXT", "MSWD"}), out);
    EXPECT_EQ(file.type, 0x54455854u);    // "TEXT"
    EXPECT_EQ(file.creator, 0x4D535744u); // "MSWD"
    EXPECT_EQ(file.dataLength, 3u);
    EXPECT_EQ(file.resourceLength, 4u);
}

TEST(BinHexTest, OnlyTheWholeTextIsClean) {
    const std::string good = binHex({"f", sample(300), "r"});
    for (size_t n = 0; n < good.size(); ++n) {
        TOVK_Utils::Block out;
        const std::string cut = good.substr(0, n); // its own copy: nothing may be read past it
        const BinHexFile file = BinHex::decode(cut, out);
        EXPECT_EQ(file.clean, n + 2 >= good.size()) << n; // the last line break may go
    }
}
