// Stores, messages and a job for whole-job tests.
#pragma once

#include "DbxWriter.h"
#include "ScriptedView.h"
#include "engine/ExtractThread.h"
#include "formats/DbxMailbox.h"
#include "formats/Decoding.h"
#include "formats/MimePart.h"
#include "utils/Path.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct Attachment {
    std::string name;
    std::string content;
    std::string encoding = "base64"; // or "quoted-printable", "7bit"
};

inline std::string base64(const std::string& in) {
    static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < in.size(); i += 3) {
        uint32_t v = uint8_t(in[i]) << 16;
        if (i + 1 < in.size())
            v |= uint8_t(in[i + 1]) << 8;
        if (i + 2 < in.size())
            v |= uint8_t(in[i + 2]);
        out += a[(v >> 18) & 63];
        out += a[(v >> 12) & 63];
        out += i + 1 < in.size() ? a[(v >> 6) & 63] : '=';
        out += i + 2 < in.size() ? a[v & 63] : '=';
        if ((column += 4) == 76) {
            out += "\r\n";
            column = 0;
        }
    }
    return out;
}

inline std::string makeMessage(const std::string& subject, const std::vector<Attachment>& parts) {
    std::string m = "From: sender@example.org\r\nSubject: " + subject +
                    "\r\nContent-Type: multipart/mixed; boundary=\"=_outer\"\r\n\r\n"
                    "This is a multi-part message.\r\n--=_outer\r\n"
                    "Content-Type: multipart/alternative; boundary=\"=_inner\"\r\n\r\n"
                    "--=_inner\r\nContent-Type: text/plain\r\n\r\nBody of " +
                    subject + "\r\n--=_inner\r\nContent-Type: text/html\r\n\r\n<p>" + subject +
                    "</p>\r\n--=_inner--\r\n";
    for (const auto& p : parts) {
        m += "--=_outer\r\nContent-Type: application/octet-stream; name=\"" + p.name +
             "\"\r\nContent-Transfer-Encoding: " + p.encoding +
             "\r\nContent-Disposition: attachment\r\n\r\n";
        m += p.encoding == "base64" ? base64(p.content) : p.content;
        m += "\r\n";
    }
    return m + "--=_outer--\r\n";
}

// Random bytes, the same for the same seed.
inline std::string binary(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(size, '\0');
    for (auto& c : s)
        c = char(random());
    return s;
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// A file name as UTF-8, read back from the system as Unicode.
inline std::string utf8Name(const fs::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

// A path from UTF-8 text.
inline fs::path utf8Path(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

// Every file of a folder, by its name in UTF-8.
inline std::map<std::string, std::string> folderFiles(const fs::path& folder) {
    std::map<std::string, std::string> files;
    if (fs::exists(folder))
        for (const auto& e : fs::directory_iterator(folder))
            if (e.is_regular_file())
                files[utf8Name(e.path())] = readFile(e.path());
    return files;
}

// A destination folder inside base whose path leaves exactly room characters for a name:
// long names cannot be saved there, whatever their shortening.
inline fs::path folderLeavingRoom(const fs::path& base, int room) {
    const size_t wanted = size_t(TOVK_Utils::hostPathRules.longestPath - 1 - room);
    fs::path folder = base;
    EXPECT_GE(wanted, folder.string().size() + 2) << "the base folder is too deep already";
    while (wanted - folder.string().size() > 203)
        folder /= std::string(200, 'd');
    folder /= std::string(wanted - folder.string().size() - 1, 'e');
    fs::create_directories(folder);
    EXPECT_EQ(folder.string().size(), wanted);
    return folder;
}

// The texts of every message of a mailbox, in index order; fails the test when one does
// not read.
inline std::vector<std::string> mailboxTexts(const fs::path& path) {
    std::vector<std::string> texts;
    const std::string p = path.string();
    TOVK_Utils::String name(p.c_str());
    TOVK_Internet::DbxMailbox box;
    EXPECT_EQ(box.open(name), TOVK_Internet::DbxMailbox::Open::Opened);
    EXPECT_TRUE(box.scan());
    for (uint32_t offset : box.messageOffsets) {
        TOVK_Utils::Block text;
        EXPECT_EQ(box.readMessage(offset, text), TOVK_Internet::DbxMailbox::Read::Complete);
        texts.emplace_back(reinterpret_cast<const char*>(text.rawPointer()),
                           size_t(text.byteSize()));
    }
    return texts;
}

class JobTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = TOVK_Tests::testFolder("tovk-job-");
        fs::remove_all(root);
        fs::create_directories(root / "store");
        fs::create_directories(root / "out");
        storeText = (root / "store").string();
        outText = (root / "out").string();
        backupText = (root / "backup").string();
        view.store = TOVK_Utils::String(storeText.c_str());
        view.extract = TOVK_Utils::String(outText.c_str());
        view.backup = TOVK_Utils::String(backupText.c_str());
        job.setView(&view);
    }
    void TearDown() override { fs::remove_all(root); }

    // Writes a mailbox of the given messages into the store and ticks it.
    DbxTest::DbxWriter& addMailbox(const std::string& name,
                                   const std::vector<std::string>& messages,
                                   DbxTest::DbxOptions options = {}) {
        writers.push_back(std::make_unique<DbxTest::DbxWriter>(options));
        auto& writer = *writers.back();
        for (const auto& m : messages)
            writer.addMessage(m);
        if (messages.size() > 3)
            writer.setRandomIndex();
        EXPECT_TRUE(writer.writeFile((root / "store" / (name + ".dbx")).string()));
        view.list.rows.push_back({name, true});
        return writer;
    }

    void runJob() {
        job.start(0, 0);
        ASSERT_TRUE(job.join(120000)) << "the job did not end";
        job.finished().reset();
    }

    fs::path root;
    std::string storeText, outText, backupText;
    ScriptedView view;
    ExtractThread job;
    std::vector<std::unique_ptr<DbxTest::DbxWriter>> writers;
};
