// Writing a message back into a mailbox: a write goes only into bytes that the scan found
// in the message's own chain and in nothing else; a write that fails puts the old bytes
// back; the journal has every old and new byte before the first write. Each case checks
// that every other message reads exactly as before.
#include "DbxTestUtil.h"
#include "formats/DbxCommit.h"
#include "formats/DbxJournal.h"
#include "formats/DbxMailbox.h"
#include "formats/DbxMailboxWriter.h"
#include "formats/WriteJournal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>

using namespace TOVK_Internet;
using DbxTest::BlockField;
using DbxTest::BlockOrder;
using DbxTest::BlockRef;
using DbxTest::DbxOptions;
using DbxTest::DbxWriter;
using DbxTest::get32;
using DbxTest::IndexNode;
using DbxTest::readFileBytes;
using DbxTest::smallBlocks;
using DbxTest::writeFileBytes;
using DbxTest::writeNow;
using TOVK_Utils::Block;
using Staging = DbxMailboxWriter::Staging;
using Outcome = DbxCommit::Outcome;

namespace {

constexpr const char* unreadable = "(unreadable)";

// Exactly size bytes: the cases count the blocks a text takes.
std::string message(int i, size_t size) {
    std::string text = DbxTest::message(i, size);
    text.resize(size);
    return text;
}

// A writer whose writes fail from a chosen one on. The failing write may first leave half
// its bytes behind, as a write torn by the system does.
class FailingWriter : public DbxMailboxWriter {
public:
    using DbxMailboxWriter::DbxMailboxWriter;
    int failFrom = -1; // number of the first write that fails, counted from 0
    int failCount = 1; // how many writes fail from there
    bool tear = false;
    bool failFlush = false;
    int writes = 0;
    int flushes = 0;
    std::vector<std::string>* events = nullptr;

protected:
    bool writeAt(uint64_t offset, const void* bytes, uint32_t count) override {
        const int n = writes++;
        if (events)
            events->push_back("write");
        if (failFrom >= 0 && n >= failFrom && n < failFrom + failCount) {
            if (tear)
                DbxMailboxWriter::writeAt(offset, bytes, count / 2);
            return false;
        }
        return DbxMailboxWriter::writeAt(offset, bytes, count);
    }
    bool flushFile() override {
        ++flushes;
        if (events)
            events->push_back("flush");
        return !failFlush && DbxMailboxWriter::flushFile();
    }
};

// Keeps copies of what it was given, as the real journal keeps them on the disk.
class RecordingJournal : public WriteJournal {
public:
    struct Copy {
        uint64_t offset;
        std::vector<uint8_t> oldBytes;
        std::vector<uint8_t> newBytes;
    };
    std::vector<Copy> spans;
    bool accept = true;
    int records = 0;
    int clears = 0;
    std::vector<std::string>* events = nullptr;

    bool record(const std::vector<Span>& given) override {
        ++records;
        if (events)
            events->push_back("record");
        spans.clear();
        for (const Span& s : given)
            spans.push_back({s.offset, std::vector<uint8_t>(s.oldBytes, s.oldBytes + s.length),
                             std::vector<uint8_t>(s.newBytes, s.newBytes + s.length)});
        return accept;
    }
    bool clear() override {
        ++clears;
        if (events)
            events->push_back("clear");
        return true;
    }

    // The file with the old bytes of every span put back, as the next open does.
    std::vector<uint8_t> undo(std::vector<uint8_t> file) const {
        for (const Copy& span : spans)
            std::copy(span.oldBytes.begin(), span.oldBytes.end(), file.begin() + span.offset);
        return file;
    }
};

class DbxWrite : public DbxTest::MailboxTest {
protected:
    // Builds count messages of size bytes each into the writer and saves the mailbox.
    bool saveMessages(DbxWriter& writer, int count, size_t size) {
        for (int i = 0; i < count; ++i)
            writer.addMessage(message(i, size));
        return writer.writeFile(path);
    }

    // What every message of the writer reads as now, through a mailbox opened afresh.
    std::vector<std::string> readAll(const DbxWriter& writer) {
        DbxMailbox box;
        EXPECT_TRUE(open(box));
        box.scan();
        std::vector<std::string> texts;
        for (uint32_t first : writer.firstBlocks()) {
            bool ok = false;
            std::string text = read(box, first, &ok);
            texts.push_back(ok ? text : unreadable);
        }
        return texts;
    }

    // One write into the message in a mailbox opened and scanned afresh.
    bool cut(const DbxWriter& writer, int m, const std::string& text) {
        DbxMailbox box;
        EXPECT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
        return writeNow(box, writer.firstBlocks()[size_t(m)], view(text));
    }

    // The write is refused, not a byte of the file changes, and every message and the
    // index still read as before.
    void expectRefused(const DbxWriter& writer, int m, const std::string& text, const char* why) {
        const auto before = bytes();
        const auto texts = readAll(writer);
        EXPECT_FALSE(cut(writer, m, text)) << why;
        EXPECT_EQ(bytes(), before) << why;
        EXPECT_EQ(readAll(writer), texts) << why;
    }
};

// A mailbox of 64-byte blocks, damaged so that a write into some of its messages would
// reach bytes that are not theirs alone.
struct Damage {
    const char* what;
    std::vector<size_t> sizes;              // the messages' sizes
    std::function<void(DbxWriter&)> lay;    // before the build
    std::function<void(DbxWriter&)> damage; // after it
    std::vector<int> refused;               // messages that must not take a write
    size_t text;                            // the size of the text they are offered
    std::vector<int> written;               // messages that still take one
};

const Damage damages[] = {
    {"a capacity reaching over the neighbour between the chain's blocks",
     {100, 50, 150},
     [](DbxWriter& w) {
         w.setBlockOrder({{0, 0}, {1, 0}, {0, 1}});
     },
     // Up to the end of B's block: A's text then seems to fit its first block, and which
     // of the two is right cannot be told.
     [](DbxWriter& w) { w.setBlockField(w.chains()[0][0], BlockField::Capacity, 64 + 80); },
     {0, 1},
     90,
     {2}},
    {"a capacity reaching into the index node behind the data",
     {100, 100},
     nullptr,
     [](DbxWriter& w) { w.setBlockField(w.chains()[1].back(), BlockField::Capacity, 64 + 24); },
     {1},
     120,
     {0}},
    {"a chain running into the file header",
     {100, 100},
     nullptr,
     [](DbxWriter& w) {
         // A sound-looking block among the header's unused bytes, linked behind message 1.
         const uint32_t fake = DbxWriter::headerSize - 200;
         const uint32_t last = w.chains()[1].back();
         w.setBlockField(last, BlockField::Next, fake);
         w.setBlockField(fake, BlockField::Self, fake);
         w.setBlockField(fake, BlockField::Capacity, 64);
         w.setBlockField(fake, BlockField::Length, 10);
     },
     {1},
     150,
     {0}},
    {"two chains sharing blocks",
     {150, 150, 150},
     nullptr,
     [](DbxWriter& w) { w.setBlockField(w.chains()[1][0], BlockField::Next, w.chains()[0][1]); },
     {0, 1},
     100,
     {2}},
    {"a block using more than its capacity",
     {150, 150, 150},
     nullptr,
     [](DbxWriter& w) { w.setBlockField(w.chains()[0][1], BlockField::Length, 64 + 10); },
     {0},
     20,
     {1, 2}},
    {"an index record where the chain's text goes on",
     {150, 150, 150},
     [](DbxWriter& w) {
         w.placeRecordInside(2, {0, 1}, 0);
     },
     nullptr,
     {0},
     100,
     {1, 2}},
    {"a chain looping back to its start",
     {150, 150, 150},
     nullptr,
     [](DbxWriter& w) { w.setBlockField(w.chains()[1][2], BlockField::Next, w.chains()[1][0]); },
     {1},
     20,
     {0, 2}},
};

} // namespace

// --- A write goes only into its own chain's blocks as the scan found them ---

TEST_F(DbxWrite, DamageKeepsEveryOtherMessageWhole) {
    for (const Damage& d : damages) {
        DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
        for (size_t i = 0; i < d.sizes.size(); ++i)
            writer.addMessage(message(int(i), d.sizes[i]));
        if (d.lay)
            d.lay(writer);
        writer.build();
        if (d.damage)
            d.damage(writer);
        ASSERT_TRUE(writer.save(path)) << d.what;
        const auto found = [&] {
            DbxMailbox box;
            EXPECT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite)) << d.what;
            return box.messageOffsets;
        };
        EXPECT_EQ(found(), writer.scanOrder()) << d.what;
        for (int m : d.refused) {
            expectRefused(writer, m, message(9, d.text), d.what);
            expectRefused(writer, m, "", d.what);
        }
        // The damage stays local: the others take their writes, and what the damaged
        // messages and the index read as does not change.
        for (int m : d.written) {
            auto expected = readAll(writer);
            expected[size_t(m)] = message(8, 40);
            EXPECT_TRUE(cut(writer, m, expected[size_t(m)])) << d.what;
            EXPECT_EQ(readAll(writer), expected) << d.what;
        }
        EXPECT_EQ(found(), writer.scanOrder()) << d.what;
    }
}

TEST_F(DbxWrite, TwoRecordsNamingOneChainAreOneMessage) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    writer.addMessage(message(0, 150));
    writer.addMessage(message(1, 150));
    auto root = std::make_unique<IndexNode>();
    root->entries.resize(3);
    root->entries[0].message = 0;
    root->entries[1].message = 1;
    root->entries[2].message = 0;
    writer.setIndex(std::move(root));
    writer.build();
    ASSERT_TRUE(writer.save(path));
    ASSERT_TRUE(cut(writer, 0, message(9, 100)));
    const auto after = readAll(writer);
    EXPECT_EQ(after[0], message(9, 100));
    EXPECT_EQ(after[1], message(1, 150));
}

TEST_F(DbxWrite, ChainChangedSinceTheScanIsNotWritten) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    ASSERT_TRUE(saveMessages(writer, 3, 150));
    const auto& chains = writer.chains();
    struct Change {
        uint32_t block;
        BlockField field;
        uint32_t value;
        const char* why;
    };
    const Change changes[] = {
        {chains[0][0], BlockField::Capacity, 64 + 80, "capacity grown over the next block"},
        {chains[0][0], BlockField::Next, chains[1][0], "linked into another chain"},
        {chains[0][1], BlockField::Next, chains[0][0], "linked back to its start"},
    };
    for (const Change& change : changes) {
        ASSERT_TRUE(writer.save(path));
        DbxMailbox box;
        ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite)) << change.why;
        // Another program changes the mailbox after the scan. Windows keeps it out (the
        // mailbox is shared for reading only); POSIX does not.
        {
            std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
            if (!out)
                GTEST_SKIP() << "the system keeps other writers out";
            out.seekp(change.block + static_cast<uint32_t>(change.field));
            const uint8_t value[4] = {uint8_t(change.value), uint8_t(change.value >> 8),
                                      uint8_t(change.value >> 16), uint8_t(change.value >> 24)};
            out.write(reinterpret_cast<const char*>(value), 4);
        }
        const auto changed = bytes();
        // Long enough to need all three blocks: a change in blocks the text does not
        // reach would not matter, as they are not written.
        const std::string text = message(9, 140);
        EXPECT_FALSE(writeNow(box, writer.firstBlocks()[0], view(text))) << change.why;
        box.close();
        EXPECT_EQ(bytes(), changed) << change.why;
    }
}

TEST_F(DbxWrite, WritesNeedACompleteScanForCutting) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    ASSERT_TRUE(saveMessages(writer, 3, 150));
    const auto before = bytes();
    const std::string text = message(9, 20);
    {
        DbxMailbox box;
        ASSERT_TRUE(open(box, DbxMailbox::Access::Read));
        ASSERT_TRUE(box.scan());
        EXPECT_FALSE(writeNow(box, writer.firstBlocks()[0], view(text))) << "opened to read";
    }
    {
        DbxMailbox box;
        ASSERT_TRUE(open(box, DbxMailbox::Access::ReadWrite));
        EXPECT_FALSE(writeNow(box, writer.firstBlocks()[0], view(text))) << "not scanned";
    }
    {
        DbxMailbox box;
        ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
        EXPECT_FALSE(writeNow(box, writer.firstBlocks()[0] + 1, view(text)))
            << "not the start of a chain";
    }
    // The index's second node is damaged: what the scan found before it is no guide.
    auto root = std::make_unique<IndexNode>();
    root->entries.resize(1);
    root->entries[0].message = 0;
    root->child = std::make_unique<IndexNode>();
    root->child->entries.resize(2);
    root->child->entries[0].message = 1;
    root->child->entries[1].message = 2;
    writer.setIndex(std::move(root));
    std::vector<uint8_t> file = writer.build();
    file.at(get32(file, get32(file, 0xE4) + 8) + 17) = 200; // the count of the root's child
    ASSERT_TRUE(save(file));
    {
        DbxMailbox box;
        ASSERT_TRUE(open(box, DbxMailbox::Access::ReadWrite));
        EXPECT_FALSE(box.scan());
        ASSERT_EQ(box.messageOffsets.size(), 1u);
        EXPECT_FALSE(writeNow(box, box.messageOffsets[0], view(text))) << "scan failed";
    }
    EXPECT_EQ(bytes(), file);
}

// --- A write that fails puts the original back ---

TEST_F(DbxWrite, WriteErrorAtEveryBlockLeavesTheMailboxAsItWas) {
    DbxWriter writer(smallBlocks(BlockOrder::Shuffled));
    ASSERT_TRUE(saveMessages(writer, 3, 300)); // five blocks each
    const auto original = bytes();
    const std::string text = message(9, 250); // four blocks
    const int blocks = 4;

    for (bool journal : {false, true}) {
        for (bool tear : {false, true}) {
            for (int fail = 0; fail < blocks; ++fail) {
                const std::string what = "failing write " + std::to_string(fail) +
                                         (tear ? ", torn" : "") + (journal ? ", journal" : "");
                ASSERT_TRUE(save(original));
                RecordingJournal recorder;
                DbxMailbox box;
                ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
                FailingWriter out(box);
                out.failFrom = fail;
                out.tear = tear;
                ASSERT_EQ(out.stage(writer.firstBlocks()[1], view(text)), Staging::Staged);
                EXPECT_EQ(DbxCommit::settle(out, journal ? &recorder : nullptr), Outcome::PutBack)
                    << what;
                // The put-back is read through the same mailbox too.
                Block read;
                EXPECT_EQ(box.readMessage(writer.firstBlocks()[1], read),
                          DbxMailbox::Read::Complete)
                    << what;
                EXPECT_EQ(str(read), message(1, 300)) << what;
                box.close();
                EXPECT_EQ(bytes(), original) << what;
                EXPECT_EQ(readAll(writer), writer.messages()) << what;
                if (journal) {
                    EXPECT_EQ(recorder.records, 1) << what;
                    EXPECT_EQ(recorder.clears, 1) << what; // the old bytes are back on disk
                }
            }
        }
    }
}

TEST_F(DbxWrite, FlushErrorLeavesTheMailboxAsItWas) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    ASSERT_TRUE(saveMessages(writer, 3, 300));
    const auto original = bytes();
    RecordingJournal recorder;
    DbxMailbox box;
    ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
    FailingWriter out(box);
    out.failFlush = true;
    ASSERT_EQ(out.stage(writer.firstBlocks()[1], view(message(9, 250))), Staging::Staged);
    // The old bytes went back, but could not be flushed either: the journal keeps them.
    EXPECT_EQ(DbxCommit::settle(out, &recorder), Outcome::KeptInJournal);
    EXPECT_EQ(recorder.clears, 0);
    box.close();
    EXPECT_EQ(bytes(), original);
}

// A failed flush is not trusted to be followed by one that says the truth: the old bytes
// go back, and the journal stays even when the second flush succeeds.
TEST_F(DbxWrite, AfterAFailedFlushTheJournalStays) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    ASSERT_TRUE(saveMessages(writer, 3, 300));
    const auto original = bytes();
    RecordingJournal recorder;
    DbxMailbox box;
    ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
    class FlushFailsOnce : public FailingWriter {
    public:
        using FailingWriter::FailingWriter;
        bool flushFile() override {
            failFlush = flushes == 0;
            return FailingWriter::flushFile();
        }
    } out(box);
    ASSERT_EQ(out.stage(writer.firstBlocks()[1], view(message(9, 250))), Staging::Staged);
    EXPECT_EQ(DbxCommit::settle(out, &recorder), Outcome::KeptInJournal);
    EXPECT_EQ(out.flushes, 2);
    EXPECT_EQ(recorder.clears, 0);
    box.close();
    EXPECT_EQ(bytes(), original);
}

TEST_F(DbxWrite, FailedPutBackKeepsTheJournalAndReportsTheWriteError) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    ASSERT_TRUE(saveMessages(writer, 3, 300));
    const auto original = bytes();
    for (int fail = 0; fail < 4; ++fail) {
        ASSERT_TRUE(save(original));
        RecordingJournal recorder;
        DbxMailbox box;
        ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
        FailingWriter out(box);
        out.failFrom = fail;
        out.failCount = 1000; // the put-back fails too
        ASSERT_EQ(out.stage(writer.firstBlocks()[1], view(message(9, 250))), Staging::Staged);
        EXPECT_EQ(DbxCommit::settle(out, &recorder), Outcome::KeptInJournal)
            << "no error at write " << fail;
        EXPECT_EQ(recorder.clears, 0) << "the journal is all that can undo the writes";
        // What the journal holds puts the message back when applied, as the next open does.
        box.close();
        EXPECT_EQ(recorder.undo(bytes()), original);
    }
}

// --- The journal has the old and new bytes before the first write ---

TEST_F(DbxWrite, JournalTakesEverySpanBeforeTheFirstWrite) {
    DbxWriter writer(smallBlocks(BlockOrder::Shuffled));
    ASSERT_TRUE(saveMessages(writer, 3, 300));
    const auto before = bytes();
    std::vector<std::string> events;
    RecordingJournal recorder;
    recorder.events = &events;
    DbxMailbox box;
    ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
    FailingWriter out(box);
    out.events = &events;
    const std::string text = message(9, 130); // three blocks, the last one barely used
    ASSERT_EQ(out.stage(writer.firstBlocks()[1], view(text)), Staging::Staged);
    ASSERT_EQ(DbxCommit::settle(out, &recorder), Outcome::Settled);
    box.close();
    const auto after = bytes();

    EXPECT_EQ(events,
              (std::vector<std::string>{"record", "write", "write", "write", "flush", "clear"}));
    ASSERT_EQ(recorder.spans.size(), 3u); // one per block that takes text
    auto redone = before;
    auto undone = after;
    for (size_t i = 0; i < recorder.spans.size(); ++i) {
        const auto& span = recorder.spans[i];
        EXPECT_EQ(span.offset, writer.chains()[1][i]);
        std::copy(span.newBytes.begin(), span.newBytes.end(), redone.begin() + span.offset);
        std::copy(span.oldBytes.begin(), span.oldBytes.end(), undone.begin() + span.offset);
    }
    EXPECT_EQ(redone, after);
    EXPECT_EQ(undone, before);
    const auto texts = readAll(writer);
    EXPECT_EQ(texts[1], text);
    EXPECT_EQ(texts[0], message(0, 300));
    EXPECT_EQ(texts[2], message(2, 300));
}

TEST_F(DbxWrite, NothingIsWrittenWhenTheJournalRefuses) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    ASSERT_TRUE(saveMessages(writer, 2, 300));
    const auto before = bytes();
    RecordingJournal recorder;
    recorder.accept = false;
    DbxMailbox box;
    ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
    FailingWriter out(box);
    ASSERT_EQ(out.stage(writer.firstBlocks()[0], view(message(9, 100))), Staging::Staged);
    EXPECT_EQ(DbxCommit::settle(out, &recorder), Outcome::PutBack);
    EXPECT_EQ(out.writes, 0);
    EXPECT_EQ(out.flushes, 0);
    EXPECT_EQ(recorder.clears, 0);
    box.close();
    EXPECT_EQ(bytes(), before);
}

// --- Settled on request: many messages, one journal flush ---

TEST_F(DbxWrite, SettleWritesEveryKeptMessageAfterOneRecord) {
    DbxWriter writer(smallBlocks(BlockOrder::Shuffled));
    ASSERT_TRUE(saveMessages(writer, 4, 300));
    const auto before = bytes();
    std::vector<std::string> events;
    RecordingJournal recorder;
    recorder.events = &events;
    DbxMailbox box;
    ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
    FailingWriter out(box);
    out.events = &events;
    ASSERT_EQ(out.stage(writer.firstBlocks()[0], view(message(8, 130))), Staging::Staged);
    ASSERT_EQ(out.stage(writer.firstBlocks()[2], view(message(9, 64))), Staging::Staged);
    // A second text for a message still waiting would be checked against blocks that are
    // about to change.
    EXPECT_EQ(out.stage(writer.firstBlocks()[2], view(message(7, 20))), Staging::Refused);
    EXPECT_TRUE(events.empty()) << "nothing is journaled or written before the settle";
    EXPECT_EQ(bytes(), before);

    ASSERT_EQ(DbxCommit::settle(out, &recorder), Outcome::Settled);
    EXPECT_EQ(events, (std::vector<std::string>{"record", "write", "write", "write", "write",
                                                "flush", "clear"}));
    box.close();
    const auto texts = readAll(writer);
    EXPECT_EQ(texts[0], message(8, 130));
    EXPECT_EQ(texts[1], message(1, 300));
    EXPECT_EQ(texts[2], message(9, 64));
    EXPECT_EQ(texts[3], message(3, 300));
    EXPECT_EQ(recorder.undo(bytes()), before);
}

TEST_F(DbxWrite, FailedSettlePutsEveryKeptMessageBack) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    ASSERT_TRUE(saveMessages(writer, 3, 300));
    const auto original = bytes();
    for (int fail = 0; fail < 6; ++fail) { // three blocks for each of two messages
        ASSERT_TRUE(save(original));
        RecordingJournal recorder;
        DbxMailbox box;
        ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
        FailingWriter out(box);
        out.failFrom = fail;
        out.tear = true;
        ASSERT_EQ(out.stage(writer.firstBlocks()[0], view(message(8, 130))), Staging::Staged);
        ASSERT_EQ(out.stage(writer.firstBlocks()[2], view(message(9, 130))), Staging::Staged);
        EXPECT_EQ(DbxCommit::settle(out, &recorder), Outcome::PutBack) << "failing write " << fail;
        EXPECT_EQ(recorder.clears, 1) << "the old bytes are back on the disk";
        box.close();
        EXPECT_EQ(bytes(), original) << "failing write " << fail;
    }
    // A journal that refuses the batch: not one byte written, and the outcome says so.
    ASSERT_TRUE(save(original));
    RecordingJournal refusing;
    refusing.accept = false;
    DbxMailbox box;
    ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
    FailingWriter out(box);
    ASSERT_EQ(out.stage(writer.firstBlocks()[1], view(message(8, 100))), Staging::Staged);
    EXPECT_EQ(DbxCommit::settle(out, &refusing), Outcome::PutBack);
    EXPECT_EQ(out.writes, 0);
    box.close();
    EXPECT_EQ(bytes(), original);
}

// --- Whatever the damage, a write changes its own message or nothing ---

// Random layouts and random damage to block headers and the index's placement: after
// every message was offered a shorter text, each one reads as its new text when the write
// was taken and exactly as before when it was not, and a new scan finds the same messages.
TEST_F(DbxWrite, RandomDamageNeverReachesAnotherMessage) {
    std::mt19937 random(11);
    auto pick = [&](size_t n) { return size_t(random() % n); };
    int taken = 0, refused = 0;
    for (int round = 0; round < 150; ++round) {
        DbxOptions options;
        options.blockCapacity = int32_t(32 + pick(100));
        options.shuffleBlocks = pick(2) == 0;
        options.gaps = pick(2) == 0;
        options.indirect = pick(2) == 0;
        options.seed = uint32_t(round);
        DbxWriter writer(options);
        const int count = 3 + int(pick(8));
        std::vector<BlockRef> order;
        for (int m = 0; m < count; ++m) {
            writer.addMessage(message(m, 1 + pick(6 * size_t(options.blockCapacity))));
            const size_t size = writer.messages().back().size();
            for (size_t b = 0; b * size_t(options.blockCapacity) < size; ++b)
                order.push_back({m, int(b)});
        }
        if (pick(2) == 0) {
            std::shuffle(order.begin(), order.end(), random);
            writer.setBlockOrder(order);
        }
        if (pick(4) == 0)
            writer.placeRecordInside(int(pick(size_t(count))), order[pick(order.size())],
                                     uint32_t(pick(size_t(options.blockCapacity) - 31)));
        writer.setRandomIndex();
        writer.build();
        std::vector<uint32_t> blocks;
        for (const auto& chain : writer.chains())
            blocks.insert(blocks.end(), chain.begin(), chain.end());
        const uint32_t fileSize = uint32_t(writer.bytes().size());
        for (size_t d = pick(4); d > 0; --d) {
            const uint32_t block = blocks[pick(blocks.size())];
            const uint32_t cap = uint32_t(options.blockCapacity);
            switch (pick(5)) {
            case 0:
                writer.setBlockField(block, BlockField::Capacity, uint32_t(pick(4 * cap)));
                break;
            case 1:
                writer.setBlockField(block, BlockField::Length, uint32_t(pick(2 * cap)));
                break;
            case 2:
                writer.setBlockField(block, BlockField::Next, blocks[pick(blocks.size())]);
                break;
            case 3:
                writer.setBlockField(block, BlockField::Next, uint32_t(pick(fileSize)));
                break;
            default:
                writer.setBlockField(block, BlockField::Self, uint32_t(pick(fileSize)));
                break;
            }
        }
        ASSERT_TRUE(writer.save(path));
        const auto before = readAll(writer);
        std::vector<uint32_t> offsets;
        {
            DbxMailbox box;
            ASSERT_TRUE(open(box));
            box.scan();
            offsets = box.messageOffsets;
        }

        auto expected = before;
        {
            DbxMailbox box;
            ASSERT_TRUE(open(box, DbxMailbox::Access::ReadWrite));
            const bool scanned = box.scan();
            std::vector<int> turn(size_t(count), 0);
            for (int m = 0; m < count; ++m)
                turn[size_t(m)] = m;
            std::shuffle(turn.begin(), turn.end(), random);
            for (int m : turn) {
                const std::string& old = before[size_t(m)] == unreadable
                                             ? writer.messages()[size_t(m)]
                                             : before[size_t(m)];
                const std::string text = old.substr(0, pick(old.size() + 1));
                bool written = false;
                ASSERT_NO_THROW(written =
                                    writeNow(box, writer.firstBlocks()[size_t(m)], view(text)));
                if (written) {
                    ASSERT_TRUE(scanned);
                    expected[size_t(m)] = text;
                    ++taken;
                } else {
                    ++refused;
                }
            }
        }
        ASSERT_EQ(readAll(writer), expected) << "round " << round;
        DbxMailbox box;
        ASSERT_TRUE(open(box));
        box.scan();
        EXPECT_EQ(box.messageOffsets, offsets) << "round " << round;
    }
    // Both outcomes must have been seen for the rounds to have shown anything.
    EXPECT_GT(taken, 100);
    EXPECT_GT(refused, 50);
}

// --- Several mailboxes settled together: one flush of their journals, one of them all ---

class DbxSettleTogether : public DbxWrite {
protected:
    void SetUp() override {
        DbxWrite::SetUp();
        for (DbxWriter& writer : writers) {
            for (int i = 0; i < 3; ++i)
                writer.addMessage(message(i, 300));
        }
        paths = {path, (dir / "Sent.dbx").string()};
        for (size_t b = 0; b < 2; ++b) {
            ASSERT_TRUE(writers[b].writeFile(paths[b]));
            originals[b] = readFileBytes(paths[b]);
        }
        writeFileBytes((dir / "saved.bin").string(), {1, 2, 3});
    }
    // Opens both mailboxes for cutting, each with its journal, and keeps a cut of its
    // first message waiting in each writer.
    void prepare(DbxMailboxWriter* outs[2]) {
        for (size_t b = 0; b < 2; ++b) {
            const TOVK_Utils::String name(view(paths[b]));
            ASSERT_TRUE(boxes[b].open(name, DbxMailbox::Access::ReadWrite) ==
                            DbxMailbox::Open::Opened &&
                        boxes[b].scan());
            ASSERT_TRUE(
                journals[b].open(name, boxes[b].fileSize(), TOVK_Utils::fileIdentity(name)));
            ASSERT_EQ(outs[b]->stage(writers[b].firstBlocks()[0], view(message(int(7 + b), 100))),
                      Staging::Staged);
        }
    }
    // Both writers with their journals; the first's cuts depend on nothing.
    std::vector<DbxCommit::Waiting> waiting(DbxMailboxWriter* outs[2],
                                            TOVK_Utils::FilesInFolder secondDependsOn = {}) {
        return {{outs[0], &journals[0], {}}, {outs[1], &journals[1], std::move(secondDependsOn)}};
    }
    TOVK_Utils::FilesInFolder inDir(const std::string& folder, const std::string& file) const {
        const auto where = folder.empty() ? dir : dir / folder;
        return {TOVK_Utils::String(view(where.string())),
                {TOVK_Utils::String(view((where / file).string()))}};
    }
    std::string journalOf(size_t b) const { return paths[b] + ".klovin-undo"; }
    std::vector<std::string> texts(size_t b) {
        DbxMailbox box;
        const TOVK_Utils::String name(view(paths[b]));
        EXPECT_TRUE(box.open(name) == DbxMailbox::Open::Opened && box.scan());
        std::vector<std::string> result;
        for (uint32_t first : writers[b].firstBlocks())
            result.push_back(read(box, first));
        return result;
    }
    void closeAll() {
        for (size_t b = 0; b < 2; ++b) {
            boxes[b].close();
            journals[b].close();
        }
    }
    // Closed before the folder goes: Windows removes no file that is still open.
    void TearDown() override {
        closeAll();
        DbxWrite::TearDown();
    }

    DbxWriter writers[2] = {DbxWriter(smallBlocks(BlockOrder::Shuffled)),
                            DbxWriter(smallBlocks(BlockOrder::InFileOrder))};
    std::vector<std::string> paths;
    std::vector<uint8_t> originals[2];
    DbxMailbox boxes[2];
    DbxJournal journals[2];
};

TEST_F(DbxSettleTogether, EveryMailboxIsWrittenAndItsJournalGoes) {
    DbxMailboxWriter first(boxes[0]), second(boxes[1]);
    DbxMailboxWriter* outs[2] = {&first, &second};
    prepare(outs);
    // A mailbox that waits keeps only its texts, and takes no more.
    boxes[0].releaseScan();
    EXPECT_TRUE(boxes[0].messageOffsets.empty());
    EXPECT_EQ(first.stage(writers[0].firstBlocks()[1], view(message(9, 50))), Staging::Refused);
    EXPECT_EQ(DbxCommit::settle(waiting(outs, inDir("", "saved.bin"))),
              (std::vector<Outcome>{Outcome::Settled, Outcome::Settled}));
    for (size_t b = 0; b < 2; ++b) {
        EXPECT_FALSE(std::filesystem::exists(journalOf(b))) << b;
        boxes[b].close();
        EXPECT_EQ(texts(b), (std::vector<std::string>{message(int(7 + b), 100), message(1, 300),
                                                      message(2, 300)}))
            << b;
    }
}

TEST_F(DbxSettleTogether, AFailedWriteLeavesThatMailboxAsItWasAndTheOtherCut) {
    for (int fail = 0; fail < 2; ++fail) { // the first and the second block of the text
        for (size_t b = 0; b < 2; ++b)
            ASSERT_TRUE(writeFileBytes(paths[b], originals[b]));
        DbxMailboxWriter first(boxes[0]);
        FailingWriter second(boxes[1]);
        second.failFrom = fail;
        second.tear = true;
        DbxMailboxWriter* outs[2] = {&first, &second};
        prepare(outs);
        EXPECT_EQ(DbxCommit::settle(waiting(outs)),
                  (std::vector<Outcome>{Outcome::Settled, Outcome::PutBack}));
        closeAll();
        for (size_t b = 0; b < 2; ++b)
            EXPECT_FALSE(DbxJournal::exists(TOVK_Utils::String(view(paths[b])))) << b;
        EXPECT_EQ(texts(0)[0], message(7, 100)) << fail;
        EXPECT_EQ(readFileBytes(paths[1]), originals[1]) << fail;
    }
}

// The attachments one mailbox's cuts depend on cannot reach the disk: the one flush of
// all journals fails, and no mailbox gets a byte.
TEST_F(DbxSettleTogether, AFailedJournalFlushWritesNoMailbox) {
    DbxMailboxWriter first(boxes[0]), second(boxes[1]);
    DbxMailboxWriter* outs[2] = {&first, &second};
    prepare(outs);
    EXPECT_EQ(DbxCommit::settle(waiting(outs, inDir("gone", "saved.bin"))),
              (std::vector<Outcome>{Outcome::NotFlushed, Outcome::NotFlushed}));
    closeAll();
    for (size_t b = 0; b < 2; ++b) {
        EXPECT_EQ(readFileBytes(paths[b]), originals[b]) << b;
        EXPECT_FALSE(DbxJournal::exists(TOVK_Utils::String(view(paths[b])))) << b;
    }
}

// The attachments a batch depends on go to the disk with its entry: when they cannot, the
// entry does not count, the journal takes nothing more until cleared, and the files are
// not carried on to the next batch.
TEST_F(DbxSettleTogether, FilesAlongsideAreFlushedWithTheEntry) {
    DbxMailboxWriter first(boxes[0]), second(boxes[1]);
    DbxMailboxWriter* outs[2] = {&first, &second};
    prepare(outs);
    const uint32_t message0 = writers[1].firstBlocks()[0];
    const auto again = [&] {
        return second.stage(message0, view(message(8, 100))) == Staging::Staged;
    };
    EXPECT_EQ(DbxCommit::settle(second, &journals[1], inDir("missing folder", "saved.bin")),
              Outcome::NotFlushed);
    ASSERT_TRUE(again());
    EXPECT_EQ(DbxCommit::settle(second, &journals[1]), Outcome::PutBack)
        << "nothing follows an entry not known whole";
    ASSERT_TRUE(journals[1].clear());
    ASSERT_TRUE(again());
    EXPECT_EQ(DbxCommit::settle(second, &journals[1], inDir("", "saved.bin")), Outcome::Settled);
    EXPECT_TRUE(journals[1].close());
    EXPECT_FALSE(std::filesystem::exists(journalOf(1)));
    boxes[1].close();
    EXPECT_EQ(texts(1)[0], message(8, 100));
}
