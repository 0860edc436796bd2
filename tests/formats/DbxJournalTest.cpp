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

// --- An entry that is not whole may be one torn while it was written (never acted on) or
// one damaged since: it goes only when the mailbox's bytes prove it never acted, and is
// otherwise renamed aside, never deleted.

// Every cut and every flipped byte of a journal whose run wrote nothing: the mailbox stays
// as it is, and the journal either goes (the pieces it still names hold their old bytes)
// or is kept whole under the name beside it.
TEST_F(Journal, ADamagedJournalOfAnUntouchedMailboxGoesOnlyWhenItsPiecesProveIt) {
    writes = {{100, randomBytes(30, 2)}, {1000, randomBytes(40, 3)}}; // every byte is tried
    const std::string journal = journalOfAll();
    // Cut inside the last span's old bytes or the checksum, every span's head is still there.
    const size_t everySpanNamed = journal.size() - 8 - writes.back().bytes.size();
    const fs::path aside = temp / "Inbox.dbx.klovin-undo.damaged";
    for (size_t at = 0; at < journal.size(); ++at) {
        std::string flipped = journal;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x81);
        for (const std::string& damaged : {journal.substr(0, at), flipped}) {
            const bool isCut = damaged.size() < journal.size();
            RecoveryResult result = recoverWith(original, damaged);
            EXPECT_EQ(readBytes(mailbox), original) << at;
            EXPECT_FALSE(fs::exists(journalFile)) << at;
            if (isCut && at >= everySpanNamed) {
                EXPECT_EQ(result.outcome, Outcome::NothingToRecover) << at;
            }
            if (result.outcome == Outcome::NothingToRecover) {
                EXPECT_EQ(result.discardedUnfinished, !damaged.empty()) << at;
                EXPECT_FALSE(fs::exists(aside)) << at;
                continue;
            }
            ASSERT_EQ(result.outcome, Outcome::SetAside) << at << (isCut ? " cut" : " flipped");
            EXPECT_EQ(readBytes(aside), damaged) << at;
            EXPECT_EQ(std::string(result.setAsidePath.c_str()), aside.string());
            fs::remove(aside);
        }
    }
}

// The run wrote a piece, then its journal lost its tail or a byte: the half-written message
// cannot be put back, so the journal is kept aside (numbered when the name is taken) and
// nothing is written.
TEST_F(Journal, ADamagedJournalOfAWrittenMailboxIsSetAsideAndNothingWritten) {
    const std::string journal = journalOfAll();
    const std::string half = written({writes[0]});
    std::string flipped = journal;
    flipped[journal.size() / 2] ^= 0x10;
    const struct {
        const char* what;
        std::string damaged;
        const char* asideName;
    } cases[] = {
        {"its last 100 bytes gone", journal.substr(0, journal.size() - 100),
         "Inbox.dbx.klovin-undo.damaged"},
        {"one byte flipped", flipped, "Inbox.dbx.klovin-undo.damaged1"},
        {"no journal at all", randomBytes(700, 9), "Inbox.dbx.klovin-undo.damaged2"},
        {"the start of one only", journal.substr(0, 20), "Inbox.dbx.klovin-undo.damaged3"},
    };
    for (const auto& c : cases) {
        RecoveryResult result = recoverWith(half, c.damaged);
        EXPECT_EQ(result.outcome, Outcome::SetAside) << c.what;
        EXPECT_EQ(readBytes(mailbox), half) << c.what;
        EXPECT_FALSE(fs::exists(journalFile)) << c.what;
        EXPECT_EQ(readBytes(temp / c.asideName), c.damaged) << c.what;
        EXPECT_EQ(fs::path(result.setAsidePath.c_str()).filename(), c.asideName) << c.what;
    }
    DbxJournal next; // the name is free for the next run's journal
    EXPECT_TRUE(open(next));
}

// Whole entries are undone; a damaged one behind them goes with the journal when its pieces
// hold their old bytes, and keeps the journal aside when one of its old hashes is lost.
TEST_F(Journal, ADamagedEntryBehindACompleteOneIsJudgedByItsPieces) {
    size_t firstLength;
    {
        DbxJournal journal;
        ASSERT_TRUE(open(journal));
        ASSERT_TRUE(journal.record(spans(0, 2)));
        firstLength = fs::file_size(journalFile);
        ASSERT_TRUE(journal.record(spans(2, 3)));
    }
    const std::string both = readBytes(journalFile);
    const size_t oldHashOfThird = firstLength + 48 + 12;   // behind the header and span head
    const size_t oldBytesOfThird = both.size() - 8 - 1000; // in the old bytes it keeps
    const struct {
        const char* what;
        size_t flip;
        Outcome outcome;
    } cases[] = {
        {"its old bytes damaged", oldBytesOfThird, Outcome::Restored},
        {"an old hash damaged", oldHashOfThird, Outcome::SetAside},
    };
    for (const auto& c : cases) {
        std::string damaged = both;
        damaged[c.flip] ^= 1;
        RecoveryResult result = recoverWith(written({writes[0], writes[1]}), damaged);
        EXPECT_EQ(result.outcome, c.outcome) << c.what;
        EXPECT_EQ(result.entries, 1u) << c.what;
        EXPECT_EQ(result.restoredSpans, 2u) << c.what;
        EXPECT_EQ(readBytes(mailbox), original) << c.what;
        EXPECT_FALSE(fs::exists(journalFile)) << c.what;
        EXPECT_EQ(fs::exists(temp / "Inbox.dbx.klovin-undo.damaged"),
                  c.outcome == Outcome::SetAside)
            << c.what;
    }
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

// The mail client appended a message, or the store was copied to another disk: each piece
// still holds its old or its new bytes, so they are put back, and the change is noted.
TEST_F(Journal, AGrownOrMovedMailboxIsRestoredByItsPieces) {
    const std::string journal = journalOfAll();
    const std::string appended = randomBytes(900, 11);
    RecoveryResult result = recoverWith(written({writes[0], writes[2]}) + appended, journal);
    EXPECT_EQ(result.outcome, Outcome::Restored);
    EXPECT_TRUE(result.sizeDiffered);
    EXPECT_EQ(readBytes(mailbox), original + appended);
    EXPECT_FALSE(fs::exists(journalFile));

    writeBytes(temp / "copy.dbx", written({writes[1]}));
    fs::remove(mailbox);
    fs::rename(temp / "copy.dbx", mailbox);
    writeBytes(journalFile, journal);
    result = DbxJournal::recover(path);
    EXPECT_EQ(result.outcome, Outcome::Restored);
    EXPECT_TRUE(result.indexDiffered);
    EXPECT_FALSE(result.sizeDiffered);
    EXPECT_EQ(readBytes(mailbox), original);
}

// A mailbox cut shorter than a recorded piece cannot hold either version of it.
TEST_F(Journal, AMailboxShorterThanItsPiecesIsLeftAlone) {
    const std::string journal = journalOfAll();
    const std::string shorter = written({writes[0]}).substr(0, writes[2].offset + 10);
    RecoveryResult result = recoverWith(shorter, journal);
    EXPECT_EQ(result.outcome, Outcome::KeptMailboxChanged);
    EXPECT_EQ(result.change, Change::Size);
    EXPECT_EQ(readBytes(mailbox), shorter);
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
