// A mailbox with enough messages that klovin-extract is still cutting when a test stops
// it from outside, and the check that the stop left every message whole.
#pragma once

#include "RunProgram.h"
#include "tests/engine/JobFixture.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class StoppedJob : public ::testing::Test {
protected:
    void SetUp() override {
        root = TOVK_Tests::testFolder("klovin-stop-");
        fs::remove_all(root);
        for (const char* folder : {"store", "reference", "out", "reference-out", "logs"})
            fs::create_directories(root / folder);
    }
    void TearDown() override { fs::remove_all(root); }

    // The same messages, each with its own attachment, in the mailbox the test stops and
    // in a copy that is cut to the end to tell what a cut message must read.
    void makeMailbox(int count) {
        DbxTest::DbxWriter writer;
        for (int i = 0; i < count; ++i) {
            std::string content = "attachment " + std::to_string(i) + "\n";
            while (content.size() < 6000)
                content += content;
            const Attachment file{"file-" + std::to_string(i) + ".bin", content};
            originals.push_back(makeMessage("message " + std::to_string(i), {file}));
            writer.addMessage(originals.back());
            attachments[file.name] = file.content;
        }
        ASSERT_TRUE(writer.writeFile(mailbox().string()));
        ASSERT_TRUE(writer.writeFile((root / "reference" / "Inbox.dbx").string()));
        const ProgramRun full =
            runProgram({"--cut", "--yes", "-o", (root / "reference-out").string(),
                        (root / "reference" / "Inbox.dbx").string()},
                       root / "logs");
        ASSERT_EQ(full.status, 0) << full.err;
        cutTexts = mailboxTexts(root / "reference" / "Inbox.dbx");
        ASSERT_EQ(cutTexts.size(), originals.size());
        for (size_t i = 0; i < cutTexts.size(); ++i)
            ASSERT_NE(cutTexts[i], originals[i]) << "message " << i << " was not cut";
    }

    fs::path mailbox() const { return root / "store" / "Inbox.dbx"; }

    std::vector<std::string> arguments() const {
        return {"--cut", "--yes", "-o", (root / "out").string(), mailbox().string()};
    }

    // True once the job has saved its first attachment, so that it is cutting; false if
    // the program ended first. The limit only keeps a broken program from hanging the run.
    bool waitUntilCutting(const std::function<bool()>& running) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (std::chrono::steady_clock::now() < limit) {
            if (!fs::is_empty(root / "out"))
                return true;
            if (!running())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    // Every message reads as its original or as its complete cut text; a stop taken
    // between messages leaves some of each.
    void expectEveryMessageWhole() {
        const auto texts = mailboxTexts(mailbox());
        ASSERT_EQ(texts.size(), originals.size());
        size_t cut = 0, kept = 0;
        for (size_t i = 0; i < texts.size(); ++i) {
            if (texts[i] == cutTexts[i])
                ++cut;
            else if (texts[i] == originals[i])
                ++kept;
            else
                ADD_FAILURE() << "message " << i << " is neither its original nor cut";
        }
        EXPECT_GT(cut, 0u);
        EXPECT_GT(kept, 0u) << "the job was not stopped before its end";
        // What was cut was saved first.
        const auto saved = folderFiles(root / "out");
        for (size_t i = 0; i < texts.size(); ++i) {
            if (texts[i] != cutTexts[i])
                continue;
            const std::string name = "file-" + std::to_string(i) + ".bin";
            const auto found = saved.find(name);
            EXPECT_TRUE(found != saved.end() && found->second == attachments.at(name)) << name;
        }
    }

    fs::path root;
    std::vector<std::string> originals, cutTexts;
    std::map<std::string, std::string> attachments;
};
