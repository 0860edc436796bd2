// winmail.dat files as Outlook writes them, and damaged ones.
#include "formats/Tnef.h"

#include "TnefWriter.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace TOVK_Internet;
using namespace DbxTest;

namespace {

constexpr uint16_t longFilename = 0x3707;
constexpr uint16_t string8 = 0x001E, unicode = 0x001F;

// "name [charset] data" for each file, then whether the whole held.
std::string summary(const std::string& bytes) {
    const TnefContent content = Tnef::read(bytes);
    std::string out = content.isTnef ? "" : "not TNEF ";
    for (const TnefFile& file : content.files)
        out += file.name + " [" + file.charset + "] " + std::string(file.data) + "; ";
    return out + (content.clean ? "clean" : "unclean");
}

// Properties Outlook writes before the long name: a number, a flag, bytes, a named
// property with a name of its own, several values at once.
const std::vector<std::string> others = {
    fixedProperty(0x0003, 0x3705, littleEndian(1, 4)),
    fixedProperty(0x000B, 0x7FFE, littleEndian(1, 2)),
    variableProperty(0x0102, 0x3702, "\x01\x02\x03"),
    littleEndian(0x001F, 2) + littleEndian(0x8005, 2) + std::string(16, '\x42') +
        littleEndian(1, 4) + littleEndian(6, 4) + padded(utf16le("key")) + littleEndian(1, 4) +
        littleEndian(2, 4) + padded(utf16le("v")),
    littleEndian(0x1003, 2) + littleEndian(0x3720, 2) + littleEndian(2, 4) + littleEndian(7, 4) +
        littleEndian(8, 4),
};

// The properties above, then the given one.
std::string othersAnd(const std::string& last) {
    std::vector<std::string> all = others;
    all.push_back(last);
    return propertyList(all);
}

} // namespace

TEST(TnefTest, TheFilesInsideWithTheirNames) {
    const std::string codePage = littleEndian(1252, 4) + littleEndian(0, 4);
    TnefWriter twoFiles;
    twoFiles.attribute(TnefWriter::message, 0x00089006, littleEndian(0x10000, 4))
        .attribute(TnefWriter::message, 0x00069007, codePage)
        .file("a.txt", "first")
        .file("b.pdf", "second");
    TnefWriter unicodeName;
    unicodeName.file("QUARTE~1.XLS", "cells",
                     propertyList({variableProperty(unicode, longFilename,
                                                    utf16le("Quarterly.xlsx") + '\0' + '\0')}));
    TnefWriter eightBitName;
    eightBitName.attribute(TnefWriter::message, 0x00069007, codePage)
        .file("R\xC9SUM~1.DOC", "cv",
              propertyList({variableProperty(string8, longFilename, "R\xE9sum\xE9.doc\0")}));
    TnefWriter afterOthers;
    afterOthers.file("SHORT.TXT", "x",
                     othersAnd(variableProperty(string8, longFilename, "long name.txt")));
    TnefWriter embedded; // an attached message: properties, no bytes of its own
    embedded.attribute(TnefWriter::attachment, 0x00069002, std::string(14, '\0'))
        .attribute(TnefWriter::attachment, 0x00018010, std::string("Message\0", 8))
        .file("c.txt", "third");
    TnefWriter bodyOnly;
    bodyOnly.attribute(TnefWriter::message, 0x0001800C, "hi"); // the text, no attachment

    struct Row {
        const char* what;
        std::string bytes;
        std::string expected;
    };
    const Row rows[] = {
        {"two files by their short names", twoFiles.bytes,
         "a.txt [cp1252] first; b.pdf [cp1252] second; clean"},
        {"a Unicode long name", unicodeName.bytes,
         utf16le("Quarterly.xlsx") + " [utf-16le] cells; clean"},
        {"an 8-bit long name in the file's code page", eightBitName.bytes,
         "R\xE9sum\xE9.doc [cp1252] cv; clean"},
        {"the long name after other properties", afterOthers.bytes, "long name.txt [] x; clean"},
        {"an attachment without bytes is no file", embedded.bytes, "c.txt [] third; clean"},
        {"only the message's text", bodyOnly.bytes, "clean"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(summary(row.bytes), row.expected);
    }
}

TEST(TnefTest, DamageIsReported) {
    TnefWriter badChecksum;
    badChecksum.file("a.txt", "first").attribute(TnefWriter::attachment, 0x0006800F, "x", 1);
    TnefWriter badProperties;
    badProperties.file("SHORT.TXT", "x",
                       propertyList({fixedProperty(0x0999, 0x3705, "????"),
                                     variableProperty(string8, longFilename, "long.txt")}));
    TnefWriter shortList;
    shortList.file("SHORT.TXT", "x", propertyList(others).substr(0, 30));
    TnefWriter badLevel;
    badLevel.attribute(3, 0x0001800C, "hi");
    const std::string good = TnefWriter().file("a.txt", "first").bytes;
    struct Row {
        const char* what;
        std::string bytes;
        std::string expected;
    };
    const Row rows[] = {
        {"a checksum that fails", badChecksum.bytes, "a.txt [] x; unclean"},
        {"a property of an unknown type", badProperties.bytes, "SHORT.TXT [] x; unclean"},
        {"a property list cut short", shortList.bytes, "SHORT.TXT [] x; unclean"},
        {"an unknown level", badLevel.bytes, "unclean"},
        {"bytes after the last attribute", good + "junk", "a.txt [] first; unclean"},
        {"cut inside an attribute", good.substr(0, good.size() - 3), "unclean"},
        {"a length past the end", good.substr(0, good.size() - 14) + littleEndian(0xFFFFFFF0, 4),
         "unclean"},
        {"no signature", "winmail.dat is not TNEF", "not TNEF unclean"},
        {"empty", "", "not TNEF unclean"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(summary(row.bytes), row.expected);
    }
}

TEST(TnefTest, ATextCutAnywhereButBetweenAttributesIsUnclean) {
    TnefWriter writer;
    writer.file("a.txt", "first", othersAnd(variableProperty(string8, longFilename, "A.txt")))
        .file("b.txt", "second");
    const std::string& whole = writer.bytes;
    for (size_t n = 0; n <= whole.size(); ++n) {
        const std::string cut = whole.substr(0, n); // its own copy: nothing may be read past it
        const bool betweenAttributes =
            n == 6 || std::count(writer.attributeEnds.begin(), writer.attributeEnds.end(), n) > 0;
        EXPECT_EQ(Tnef::read(cut).clean, betweenAttributes) << n;
    }
}
