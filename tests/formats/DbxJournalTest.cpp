#include "formats/DbxJournal.h"
#include "DbxWriter.h"
#include "formats/DbxMailbox.h"

#include "tests/utils/TempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace TOVK_Internet;
using namespace TOVK_Tests;
using Outcome = RecoveryResult::Outcome;
using Change = RecoveryResult::Change;

namespace {

std::string randomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

struct Write {
    uint64_t offset;
    std::string bytes;
};

// A mailbox of random bytes and three writes over it, two of them across several of the
// 512-byte pieces that recovery judges one by one.
class Journal : public ::testing::Test {
protected:
    void SetUp() override { writeBytes(mailbox, original); }

    WriteJournal::Span span(const Write& write) const {
        return {write.offset, reinterpret_cast<const uint8_t*>(original.data()) + write.offset,
                reinterpret_cast<const uint8_t*>(write.bytes.data()),
                static_cast<uint32_t>(write.bytes.size())};
    }
    std::vector<WriteJournal::Span> spans(size_t first, size_t end) const {
        std::vector<WriteJournal::Span> result;
        for (size_t i = first; i < end; ++i)
            result.push_back(span(writes[i]));
        return result;
    }
    bool open(DbxJournal& journal) {
        return journal.open(path, original.size(), TOVK_Utils::fileIdentity(path));
    }
    // The journal of all the writes, as a run leaves it when it stops before clear.
    std::string journalOfAll() {
        {
            DbxJournal journal;
            EXPECT_TRUE(open(journal));
            EXPECT_TRUE(journal.record(spans(0, writes.size())));
        }
        return readBytes(journalFile);
    }
    std::string written(const std::vector<Write>& done) const {
        std::string bytes = original;
        for (const Write& write : done)
            bytes.replace(write.offset, write.bytes.size(), write.bytes);
        return bytes;
    }
    RecoveryResult recoverWith(const std::string& file, const std::string& journal) {
        writeBytes(mailbox, file);
        writeBytes(journalFile, journal);
        return DbxJournal::recover(path);
    }

    TempFolder temp;
    fs::path mailbox = temp / "Inbox.dbx";
    fs::path journalFile = temp / "Inbox.dbx.klovin-undo";
    TOVK_Utils::String path = textOf(temp.text("Inbox.dbx"));
    std::string original = randomBytes(5000, 1);
    std::vector<Write> writes = {
        {100, randomBytes(300, 2)}, {900, randomBytes(700, 3)}, {2000, randomBytes(1100, 4)}};
};

// --- A run that stopped anywhere among its writes, or a recovery that stopped, is undone.

TEST_F(Journal, EveryPrefixAndAnyMixOfTheWritesIsUndone) {
    std::string journal = journalOfAll();
    for (size_t done = 0; done <= writes.size(); ++done) {
        RecoveryResult result =
            recoverWith(written({writes.begin(), writes.begin() + done}), journal);
        EXPECT_EQ(result.outcome, Outcome::Restored);
        EXPECT_EQ(result.restoredSpans, done);
        EXPECT_EQ(readBytes(mailbox), original) << done;
        EXPECT_FALSE(fs::exists(journalFile));
    }
    // A crash tears a write at sector boundaries: any mix of old and new pieces.
    std::vector<Write> pieces;
    for (const Write& write : writes) {
        for (uint64_t at = write.offset, end = at + write.bytes.size(); at < end;) {
            uint64_t next = std::min(end, at / 512 * 512 + 512);
            pieces.push_back({at, write.bytes.substr(at - write.offset, next - at)});
            at = next;
        }
    }
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
        std::vector<Write> some;
        for (const Write& piece : pieces) {
            if (random() % 2)
                some.push_back(piece);
        }
        EXPECT_EQ(recoverWith(written(some), journal).outcome, Outcome::Restored);
        EXPECT_EQ(readBytes(mailbox), original) << round;
    }
    // Stopped after the old bytes went back, before the journal went; then run once more.
    EXPECT_EQ(recoverWith(original, journal).restoredSpans, 0u);
    EXPECT_FALSE(fs::exists(journalFile));
    EXPECT_EQ(DbxJournal::recover(path).outcome, Outcome::NothingToRecover);
    EXPECT_EQ(readBytes(mailbox), original);
}

TEST_F(Journal, OnlyEntriesSinceTheLastClearAreUndone) {
    std::string afterFirst = written({writes[0]});
    {
        DbxJournal journal;
        ASSERT_TRUE(open(journal));
        ASSERT_TRUE(journal.record(spans(0, 1)));
        writeBytes(mailbox, afterFirst);
        ASSERT_TRUE(journal.clear());
        EXPECT_FALSE(DbxJournal::exists(path));
        ASSERT_TRUE(journal.record(spans(1, 2)));
        ASSERT_TRUE(journal.record(spans(2, 3)));
        writeBytes(mailbox, written(writes));
    }
    RecoveryResult result = DbxJournal::recover(path);
    EXPECT_EQ(result.outcome, Outcome::Restored);
    EXPECT_EQ(result.entries, 2u);
    EXPECT_EQ(readBytes(mailbox), afterFirst);
}

TEST_F(Journal, AMessageOfARealMailboxReadsBackWhole) {
    DbxTest::DbxWriter writer;
    std::string text = "Subject: report\r\n\r\n" + std::string(3000, 'a') + randomBytes(2000, 5);
    writer.addMessage(text);
    writer.addMessage("Subject: other\r\n\r\nkept\r\n");
    ASSERT_TRUE(writer.writeFile(temp.text("Inbox.dbx")));
    original = readBytes(mailbox);
    writes.clear(); // every block's body blanked
    for (size_t block = 0, at = 0; at < text.size(); ++block, at += 512)
        writes.push_back({writer.chains()[0][block] + 16u,
                          std::string(std::min<size_t>(512, text.size() - at), ' ')});
    std::string journal = journalOfAll();
    RecoveryResult result = recoverWith(written({writes.begin(), writes.end() - 3}), journal);
    // The engine says "Restored N blocks of Inbox.dbx ..." (tests/engine/RecoveryReportTest).
    EXPECT_EQ(result.outcome, Outcome::Restored);
    EXPECT_EQ(result.restoredSpans, writes.size() - 3);
    DbxMailbox box;
    ASSERT_EQ(box.open(path), DbxMailbox::Open::Opened);
    TOVK_Utils::Block message;
    ASSERT_EQ(box.readMessage(writer.firstBlocks()[0], message), DbxMailbox::Read::Complete);
    EXPECT_EQ(bytesOf(message), text);
}

// --- An entry that was not completely written was never acted on: it goes, the mailbox
// stays as it is.

TEST_F(Journal, AJournalCutShortOrDamagedAnywhereIsDiscarded) {
    writes = {{100, randomBytes(30, 2)}, {1000, randomBytes(40, 3)}}; // every byte is tried
    std::string journal = journalOfAll();
    for (size_t at = 0; at < journal.size(); ++at) {
        std::string damaged = journal;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x81);
        for (const std::string& torn : {journal.substr(0, at), damaged}) {
            RecoveryResult result = recoverWith(original, torn);
            ASSERT_EQ(result.outcome, Outcome::NothingToRecover) << at;
            EXPECT_EQ(result.discardedUnfinished, at > 0 || torn == damaged);
            EXPECT_FALSE(fs::exists(journalFile));
            EXPECT_EQ(readBytes(mailbox), original);
        }
    }
}

TEST_F(Journal, AnUnfinishedEntryBehindACompleteOneIsDropped) {
    size_t firstLength;
    {
        DbxJournal journal;
        ASSERT_TRUE(open(journal));
        ASSERT_TRUE(journal.record(spans(0, 2)));
        firstLength = fs::file_size(journalFile);
        ASSERT_TRUE(journal.record(spans(2, 3)));
    }
    std::string both = readBytes(journalFile);
    both[firstLength + 60] ^= 1;
    RecoveryResult result = recoverWith(written({writes[0], writes[1]}), both);
    EXPECT_EQ(result.outcome, Outcome::Restored);
    EXPECT_EQ(result.entries, 1u);
    EXPECT_TRUE(result.discardedUnfinished);
    EXPECT_EQ(readBytes(mailbox), original);
}

// --- A mailbox that changed since is not the one the journal knows: nothing is touched.

TEST_F(Journal, BytesHoldingNeitherVersionLeaveEverythingAlone) {
    std::string journal = journalOfAll();
    std::string changed = written(writes);
    changed[2600] ^= 0x40; // the third write's third piece
    RecoveryResult result = recoverWith(changed, journal);
    EXPECT_EQ(result.outcome, Outcome::KeptMailboxChanged);
    EXPECT_EQ(result.change, Change::Bytes);
    EXPECT_EQ(result.changedOffset, 2560u);
    EXPECT_EQ(readBytes(mailbox), changed);
    EXPECT_EQ(readBytes(journalFile), journal);
}

TEST_F(Journal, AnotherSizeOrAnotherFileLeavesEverythingAlone) {
    std::string journal = journalOfAll();
    std::string longer = written({writes[0]}) + "x";
    RecoveryResult result = recoverWith(longer, journal);
    EXPECT_EQ(result.change, Change::Size);
    EXPECT_EQ(readBytes(mailbox), longer);

    std::string half = written({writes[0]});
    writeBytes(temp / "copy.dbx", half);
    fs::remove(mailbox);
    fs::rename(temp / "copy.dbx", mailbox);
    result = DbxJournal::recover(path);
    EXPECT_EQ(result.outcome, Outcome::KeptMailboxChanged);
    EXPECT_EQ(result.change, Change::Identity);
    EXPECT_EQ(readBytes(mailbox), half);
    EXPECT_EQ(readBytes(journalFile), journal);
}

// Entries whose spans overlap were never written by one journal: two journals joined.
TEST_F(Journal, AJournalThisProgramDidNotWriteIsKept) {
    std::string first = journalOfAll();
    DbxJournal::recover(path);
    std::string joined = first + journalOfAll();
    RecoveryResult result = recoverWith(written(writes), joined);
    EXPECT_EQ(result.outcome, Outcome::Error);
    EXPECT_EQ(readBytes(mailbox), written(writes));
    EXPECT_EQ(readBytes(journalFile), joined);
}

// --- The journal's own life: only entries not cleared outlive the journal object.

TEST_F(Journal, ClearLeavesNothingToRecover) {
    {
        DbxJournal journal;
        ASSERT_TRUE(open(journal));
        EXPECT_FALSE(fs::exists(journalFile)); // nothing made before the first record
        ASSERT_TRUE(journal.record(spans(0, 3)));
        EXPECT_TRUE(DbxJournal::exists(path));
        writeBytes(mailbox, written(writes));
        ASSERT_TRUE(journal.clear());
        EXPECT_FALSE(fs::exists(journalFile)); // cleared is gone, its name too
        EXPECT_EQ(DbxJournal::recover(path).outcome, Outcome::NothingToRecover);
        EXPECT_EQ(readBytes(mailbox), written(writes));
        // The next batch makes it anew, and a journal in use is not taken from under it.
        ASSERT_TRUE(journal.record(spans(0, 1)));
        EXPECT_TRUE(DbxJournal::exists(path));
        EXPECT_EQ(DbxJournal::recover(path).outcome, Outcome::InUse);
        ASSERT_TRUE(journal.clear());
        EXPECT_FALSE(fs::exists(journalFile));
        EXPECT_TRUE(journal.close());
    }
    EXPECT_FALSE(fs::exists(journalFile));
    writeBytes(journalFile, ""); // left by a run that stopped after a clear
    EXPECT_EQ(DbxJournal::recover(path).outcome, Outcome::NothingToRecover);
    EXPECT_FALSE(fs::exists(journalFile));
    EXPECT_EQ(readBytes(mailbox), written(writes));
}

// Each call moves the journal along its state diagram, and what it returns fits the state:
// the cases run in order, each from the state the one before left.
TEST_F(Journal, EveryCallMovesTheStateAlongItsDiagram) {
    using State = DbxJournal::State;
    struct Step {
        const char* what;
        std::function<bool(DbxJournal&)> call;
        bool result;
        State after;
    };
    const std::vector<Step> steps = {
        {"open", [&](DbxJournal& j) { return open(j); }, true, State::Ready},
        {"clear with nothing recorded", [](DbxJournal& j) { return j.clear(); }, true,
         State::Ready},
        {"a span beyond the mailbox is refused",
         [&](DbxJournal& j) {
             return j.recordUnflushed({span({4990, std::string(20, 'o')})});
         },
         false, State::Ready},
        {"an entry appended", [&](DbxJournal& j) { return j.recordUnflushed(spans(0, 1)); }, true,
         State::Appended},
        {"no second entry before the first is flushed",
         [&](DbxJournal& j) { return j.recordUnflushed(spans(1, 2)); }, false, State::Appended},
        {"flushed",
         [](DbxJournal& j) {
             j.unflushedFlushed(true);
             return true;
         },
         true, State::Recorded},
        {"another entry", [&](DbxJournal& j) { return j.record(spans(1, 2)); }, true,
         State::Recorded},
        {"an overlapping one is refused",
         [&](DbxJournal& j) {
             return j.record({span({150, std::string(10, 'o')})});
         },
         false, State::Recorded},
        {"an entry whose flush failed",
         [&](DbxJournal& j) {
             const bool appended = j.recordUnflushed(spans(2, 3));
             j.unflushedFlushed(false);
             return appended;
         },
         true, State::Broken},
        {"nothing follows it", [&](DbxJournal& j) { return j.record(spans(2, 3)); }, false,
         State::Broken},
        {"clear", [](DbxJournal& j) { return j.clear(); }, true, State::Ready},
        {"recorded anew", [&](DbxJournal& j) { return j.record(spans(0, 1)); }, true,
         State::Recorded},
        {"close keeps an entry not cleared", [](DbxJournal& j) { return j.close(); }, false,
         State::Closed},
        {"a closed journal records nothing", [&](DbxJournal& j) { return j.record(spans(1, 2)); },
         false, State::Closed},
    };
    DbxJournal journal;
    EXPECT_EQ(journal.state(), State::Closed);
    // Each transition on the way is checked by the journal itself in the debug build.
    for (const Step& step : steps) {
        EXPECT_EQ(step.call(journal), step.result) << step.what;
        EXPECT_EQ(journal.state(), step.after) << step.what;
    }
    EXPECT_TRUE(DbxJournal::exists(path)) << "the entry not cleared is there for recovery";
}

// A call the diagram does not allow in the state the journal is in is a programming error:
// the debug build stops there, the others refuse it and change nothing.
TEST_F(Journal, AForbiddenTransitionIsStopped) {
    using State = DbxJournal::State;
    EXPECT_FALSE(DbxJournal::allows(State::Ready, State::Recorded));
    EXPECT_FALSE(DbxJournal::allows(State::Appended, State::Ready));
    DbxJournal journal;
    ASSERT_TRUE(open(journal));
#ifdef NDEBUG
    journal.unflushedFlushed(true); // no entry was appended
    EXPECT_EQ(journal.state(), State::Ready);
    ASSERT_TRUE(journal.recordUnflushed(spans(0, 1)));
    EXPECT_FALSE(journal.clear()) << "cleared before its entry's flush was known";
    EXPECT_EQ(journal.state(), State::Appended);
#else
    EXPECT_DEATH(journal.unflushedFlushed(true), "transition");
    ASSERT_TRUE(journal.recordUnflushed(spans(0, 1)));
    EXPECT_DEATH(journal.clear(), "transition");
#endif
    journal.unflushedFlushed(true);
    EXPECT_EQ(journal.state(), State::Recorded);
    EXPECT_TRUE(journal.clear());
}

TEST_F(Journal, RecordRefusesSpansItCouldNotUndoSafely) {
    DbxJournal journal;
    ASSERT_TRUE(open(journal));
    ASSERT_TRUE(journal.record(spans(1, 2)));
    std::string before = readBytes(journalFile);
    EXPECT_FALSE(journal.record({span({1500, std::string(200, 'o')})}));
    EXPECT_FALSE(journal.record({span(writes[0]), span({150, std::string(10, 'o')})}));
    WriteJournal::Span outside = span(writes[0]);
    outside.offset = original.size() - 10;
    EXPECT_FALSE(journal.record({outside}));
    EXPECT_EQ(readBytes(journalFile), before);
    EXPECT_TRUE(journal.record(spans(0, 1))); // the refusals left it usable
}

TEST_F(Journal, OpenWaitsForAnEarlierJournalToBeRecovered) {
    journalOfAll();
    DbxJournal journal;
    EXPECT_FALSE(open(journal));
    EXPECT_FALSE(journal.record(spans(0, 1)));
    EXPECT_FALSE(journal.open(path, original.size(), TOVK_Utils::FileIdentity{}));
    DbxJournal::recover(path);
    EXPECT_TRUE(open(journal));
}

// --- One writer at a time (and on POSIX another process: posix/DbxJournalPosixTest).

TEST_F(Journal, AMailboxHeldByAnotherWriterIsReportedInUse) {
    std::string journal = journalOfAll();
    writeBytes(mailbox, written(writes));
    TOVK_Utils::File other;
    ASSERT_TRUE(other.openForReading(path, TOVK_Utils::File::Access::ReadWrite,
                                     TOVK_Utils::File::ShareRead));
    ASSERT_TRUE(other.lock());
    EXPECT_EQ(DbxJournal::recover(path).outcome, Outcome::InUse);
    EXPECT_EQ(readBytes(mailbox), written(writes));
    EXPECT_EQ(readBytes(journalFile), journal);
    other.close();
    EXPECT_EQ(DbxJournal::recover(path).outcome, Outcome::Restored);
}

} // namespace
