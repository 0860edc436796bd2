#include "DbxJournal.h"

#include "utils/Path.h"

#include <algorithm>
#include <cassert>
#include <cstring>

using TOVK_Utils::Block;
using TOVK_Utils::File;
using TOVK_Utils::FileIdentity;
using TOVK_Utils::String;

namespace TOVK_Internet {

namespace {

// Entry layout, all numbers little-endian:
//   0  8  magic "KLVUNDO" and a format version byte
//   8  8  length of the whole entry, checksum included
//  16  8  mailbox size
//  24  8  mailbox volume
//  32  8  mailbox file index
//  40  4  span count
//  44  4  piece size
//  48     spans: offset (8), length (4), per piece its old and new hash (8 + 8), old bytes
//  end-8  checksum: hash of every byte of the entry before it
constexpr uint8_t magic[8] = {'K', 'L', 'V', 'U', 'N', 'D', 'O', 1};
constexpr size_t magicNameBytes = 7; // without the version byte
constexpr size_t headerBytes = 48;
constexpr size_t checksumBytes = 8;
constexpr size_t spanHeadBytes = 12;
constexpr size_t pieceHashBytes = 16;

constexpr uint64_t prime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t prime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t prime3 = 0x165667B19E3779F9ull;
constexpr uint64_t prime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t prime5 = 0x27D4EB2F165667C5ull;

uint64_t rotateLeft(uint64_t value, int bits) {
    return (value << bits) | (value >> (64 - bits));
}

uint64_t load(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

// Only tells which of two known versions a piece of the file holds, and whether an entry
// came out whole: no adversary picks these bytes, so a fast mix is enough.
uint64_t hashBytes(const uint8_t* bytes, size_t count) {
    uint64_t hash = prime5 + count;
    for (; count >= 8; bytes += 8, count -= 8) {
        uint64_t word = rotateLeft(load(bytes, 8) * prime2, 31) * prime1;
        hash = rotateLeft(hash ^ word, 27) * prime1 + prime4;
    }
    if (count >= 4) {
        hash = rotateLeft(hash ^ (load(bytes, 4) * prime1), 23) * prime2 + prime3;
        bytes += 4;
        count -= 4;
    }
    for (; count > 0; ++bytes, --count)
        hash = rotateLeft(hash ^ (*bytes * prime5), 11) * prime1;
    hash ^= hash >> 33;
    hash *= prime2;
    hash ^= hash >> 29;
    hash *= prime3;
    hash ^= hash >> 32;
    return hash;
}

// Calls visit(start, length) for each piece of the span, cut at every multiple of size.
template <class Visit>
void forEachPiece(uint64_t offset, uint32_t length, uint32_t size, Visit visit) {
    uint64_t end = offset + length;
    for (uint64_t start = offset; start < end;) {
        uint64_t pieceEnd = std::min(end, (start / size + 1) * size);
        visit(start, static_cast<uint32_t>(pieceEnd - start));
        start = pieceEnd;
    }
}

uint64_t pieceCount(uint64_t offset, uint32_t length, uint32_t size) {
    return length == 0 ? 0 : (offset + length - 1) / size - offset / size + 1;
}

class Writer {
public:
    void bytes(const void* from, size_t count) {
        const auto* source = static_cast<const uint8_t*>(from);
        out.insert(out.end(), source, source + count);
    }
    void number(uint64_t value, int count) {
        for (int i = 0; i < count; ++i)
            out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    std::vector<uint8_t> out;
};

class Reader {
public:
    Reader(const uint8_t* bytes, size_t count) : bytes_(bytes), count_(count) {}
    bool number(uint64_t& value, int count) {
        if (count_ - position_ < static_cast<size_t>(count))
            return false;
        value = load(bytes_ + position_, count);
        position_ += count;
        return true;
    }
    const uint8_t* take(uint64_t count) {
        if (count_ - position_ < count)
            return nullptr;
        const uint8_t* at = bytes_ + position_;
        position_ += static_cast<size_t>(count);
        return at;
    }
    bool atEnd() const { return position_ == count_; }

private:
    const uint8_t* bytes_;
    size_t count_;
    size_t position_ = 0;
};

struct Piece {
    uint64_t offset;
    uint32_t length;
    const uint8_t* oldBytes;
    uint64_t oldHash;
    uint64_t newHash;
    uint32_t span; // counted over the whole journal
};

struct Entry {
    uint64_t mailboxSize = 0;
    FileIdentity identity;
    std::vector<Piece> pieces;
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
};

enum class Parsed {
    Complete,
    Unfinished, // torn: the write of this entry never completed
    Foreign,    // whole, but not a journal this program wrote
};

Parsed parseEntry(const uint8_t* bytes, size_t available, Entry& entry, size_t& consumed,
                  uint32_t& spanNumber) {
    // The name, the length and the checksum stay where they are in every version, so that
    // a torn entry is told from a later version's whole one.
    if (available < headerBytes + checksumBytes || std::memcmp(bytes, magic, magicNameBytes) != 0)
        return Parsed::Unfinished;
    uint64_t length = load(bytes + 8, 8);
    if (length < headerBytes + checksumBytes || length > available)
        return Parsed::Unfinished;
    size_t body = static_cast<size_t>(length) - checksumBytes;
    if (hashBytes(bytes, body) != load(bytes + body, 8))
        return Parsed::Unfinished;
    consumed = static_cast<size_t>(length);
    if (bytes[magicNameBytes] != magic[magicNameBytes])
        return Parsed::Foreign;

    // Whole from here on: anything that does not add up was never written by record().
    Reader reader(bytes + 16, body - 16);
    uint64_t spans = 0;
    uint64_t size = 0;
    entry.identity.valid = true;
    if (!reader.number(entry.mailboxSize, 8) || !reader.number(entry.identity.device, 8) ||
        !reader.number(entry.identity.index, 8) || !reader.number(spans, 4) ||
        !reader.number(size, 4) || size == 0)
        return Parsed::Foreign;
    for (uint64_t s = 0; s < spans; ++s, ++spanNumber) {
        uint64_t offset = 0;
        uint64_t spanLength = 0;
        if (!reader.number(offset, 8) || !reader.number(spanLength, 4) || spanLength == 0 ||
            offset > entry.mailboxSize || spanLength > entry.mailboxSize - offset)
            return Parsed::Foreign;
        uint64_t pieces =
            pieceCount(offset, static_cast<uint32_t>(spanLength), static_cast<uint32_t>(size));
        const uint8_t* hashes = reader.take(pieces * pieceHashBytes);
        const uint8_t* old = reader.take(spanLength);
        if (!hashes || !old)
            return Parsed::Foreign;
        bool sound = true;
        forEachPiece(
            offset, static_cast<uint32_t>(spanLength), static_cast<uint32_t>(size),
            [&](uint64_t start, uint32_t count) {
                const uint8_t* pieceOld = old + (start - offset);
                uint64_t oldHash = load(hashes, 8);
                uint64_t newHash = load(hashes + 8, 8);
                hashes += pieceHashBytes;
                sound = sound && hashBytes(pieceOld, count) == oldHash;
                entry.pieces.push_back({start, count, pieceOld, oldHash, newHash, spanNumber});
            });
        if (!sound)
            return Parsed::Foreign;
        entry.ranges.push_back({offset, offset + spanLength});
    }
    return reader.atEnd() ? Parsed::Complete : Parsed::Foreign;
}

bool overlapping(std::vector<std::pair<uint64_t, uint64_t>> ranges) {
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second)
            return true;
    }
    return false;
}

// The folder holding the file ("." for a bare name), whose list of names must reach the
// disk when the journal appears or goes.
String folderOf(const Block& file) {
    TOVK_Utils::Path path;
    String folder;
    if (!path.assign(file) || path.lastComponent() == 0) {
        folder.setWide(file.isWide());
        folder.append(Block("."));
        return folder;
    }
    path.substring(folder, 0, path.lastComponent());
    return folder;
}

String nameOf(const Block& file) {
    TOVK_Utils::Path path;
    String name;
    if (!path.assign(file)) {
        name.assign(file);
        return name;
    }
    path.tail(name, path.lastComponent());
    return name;
}

// Gone, or, when the name cannot be removed, emptied: either way nothing is left to do.
bool dropJournal(const Block& journal, const Block& folder) {
    if (TOVK_Utils::removeFile(journal))
        return TOVK_Utils::flushDirectory(folder);
    File emptied;
    return emptied.openForWriting(journal, true) && emptied.flush();
}

// Builds a message from 8-bit sentences and names of either width; the names keep every
// character, also those the 8-bit code page does not have.
class Message {
public:
    explicit Message(const Block& name) { text_.setWide(name.isWide()); }
    Message& operator<<(const char* words) {
        text_.append(Block(words));
        return *this;
    }
    Message& operator<<(const Block& name) {
        text_.append(name);
        return *this;
    }
    Message& operator<<(uint64_t number) {
        String digits;
        digits.setDecimal(static_cast<int64_t>(number));
        text_.append(digits);
        return *this;
    }
    String take() { return text_; }

private:
    String text_;
};

} // namespace

DbxJournal::~DbxJournal() {
    close();
}

String DbxJournal::journalPath(const Block& mailboxPath) {
    String path(mailboxPath);
    path.append(Block(".klovin-undo"));
    return path;
}

bool DbxJournal::exists(const Block& mailboxPath) {
    String path = journalPath(mailboxPath);
    if (TOVK_Utils::getAttributes(path) == TOVK_Utils::NoAttributes)
        return false;
    File journal;
    return !journal.openForReading(path) || journal.getSize() > 0;
}

bool DbxJournal::open(const Block& mailboxPath, uint64_t mailboxSize,
                      const FileIdentity& identity) {
    close();
    // An invalid identity would never match at recovery, and a journal that can never be
    // applied protects nothing.
    if (!identity.valid || exists(mailboxPath))
        return false;
    path_ = journalPath(mailboxPath);
    folder_ = folderOf(mailboxPath);
    mailboxSize_ = mailboxSize;
    identity_ = identity;
    return moveTo(State::Ready);
}

bool DbxJournal::allows(State from, State to) {
    switch (to) {
    case State::Closed:
        return true;
    case State::Ready:
        return from == State::Closed || from == State::Recorded || from == State::Broken;
    case State::Appended:
        return from == State::Ready || from == State::Recorded;
    case State::Recorded:
        return from == State::Appended;
    case State::Broken:
        return from == State::Ready || from == State::Appended || from == State::Recorded;
    }
    return false;
}

bool DbxJournal::moveTo(State next) {
    const bool allowed = allows(state_, next);
    assert(allowed && "DbxJournal: a transition its state diagram does not have");
    if (allowed)
        state_ = next;
    return allowed;
}

bool DbxJournal::record(const std::vector<Span>& spans) {
    if (!recordUnflushed(spans))
        return false;
    std::vector<File*> files;
    std::vector<TOVK_Utils::FilesInFolder> others;
    collectUnflushed(files, others);
    const bool onDisk = File::flushTogether(files, others);
    unflushedFlushed(onDisk);
    return onDisk;
}

void DbxJournal::collectUnflushed(std::vector<File*>& files,
                                  std::vector<TOVK_Utils::FilesInFolder>& others) {
    if (state_ != State::Appended)
        return;
    files.push_back(&file_);
    if (end_ == 0)
        others.push_back({folder_, {}}); // the journal's own name, new in its folder
}

void DbxJournal::unflushedFlushed(bool onDisk) {
    if (!moveTo(onDisk ? State::Recorded : State::Broken) || !onDisk)
        return;
    end_ = unflushedEnd_;
    recorded_ = std::move(unflushedRanges_);
}

bool DbxJournal::recordUnflushed(const std::vector<Span>& spans) {
    if (state_ != State::Ready && state_ != State::Recorded)
        return false; // closed, broken, or an entry waits for its flush
    std::vector<std::pair<uint64_t, uint64_t>> ranges = recorded_;
    uint32_t count = 0;
    uint64_t bytes = headerBytes + checksumBytes;
    for (const Span& span : spans) {
        if (span.length == 0)
            continue; // nothing there to undo
        if (!span.oldBytes || !span.newBytes || span.offset > mailboxSize_ ||
            span.length > mailboxSize_ - span.offset)
            return false;
        ranges.push_back({span.offset, span.offset + span.length});
        bytes += spanHeadBytes + pieceCount(span.offset, span.length, pieceBytes) * pieceHashBytes +
                 span.length;
        ++count;
    }
    // Recovery reads the whole journal into one block.
    if (overlapping(ranges) || bytes > File::MaxBlockBytes - end_)
        return false;

    Writer entry;
    entry.out.reserve(static_cast<size_t>(bytes));
    entry.bytes(magic, sizeof magic);
    entry.number(bytes, 8);
    entry.number(mailboxSize_, 8);
    entry.number(identity_.device, 8);
    entry.number(identity_.index, 8);
    entry.number(count, 4);
    entry.number(pieceBytes, 4);
    for (const Span& span : spans) {
        if (span.length == 0)
            continue;
        entry.number(span.offset, 8);
        entry.number(span.length, 4);
        forEachPiece(span.offset, span.length, pieceBytes, [&](uint64_t start, uint32_t length) {
            size_t at = static_cast<size_t>(start - span.offset);
            entry.number(hashBytes(span.oldBytes + at, length), 8);
            entry.number(hashBytes(span.newBytes + at, length), 8);
        });
        entry.bytes(span.oldBytes, span.length);
    }
    entry.number(hashBytes(entry.out.data(), entry.out.size()), 8);

    if (!file_.isOpen()) {
        // Created afresh: an empty journal left by an earlier run may be there. Locked so
        // that no recovery takes it while it is in use, whatever holds the mailbox.
        if (!file_.openForWriting(path_, true))
            return false;
        if (!file_.lock()) {
            file_.close();
            moveTo(State::Broken); // the file made here stays until a clear
            return false;
        }
    }
    if (!file_.seek(static_cast<int64_t>(end_)) ||
        !file_.write(entry.out.data(), static_cast<uint32_t>(entry.out.size()))) {
        moveTo(State::Broken);
        return false;
    }
    unflushedEnd_ = end_ + entry.out.size();
    unflushedRanges_ = std::move(ranges);
    return moveTo(State::Appended);
}

bool DbxJournal::clear() {
    if (state_ == State::Closed)
        return false;
    if (state_ == State::Ready)
        return true; // nothing of this object's on the disk
    if (state_ == State::Appended)
        return moveTo(State::Ready); // not one of the diagram's: stopped there
    // The removal is left to the next flush of the folder (DbxCommit, invariant 4). The
    // next record makes the file anew.
    file_.close();
    if (!TOVK_Utils::removeFile(path_)) {
        // Its entries stay for recovery, and close leaves them there.
        if (state_ != State::Broken)
            moveTo(State::Broken);
        return false;
    }
    end_ = 0;
    recorded_.clear();
    return moveTo(State::Ready);
}

bool DbxJournal::close() {
    bool gone = true;
    if (state_ != State::Closed && state_ != State::Ready) {
        file_.close();
        // Entries not cleared belong to mailbox writes that may not have finished.
        gone = end_ == 0 && TOVK_Utils::removeFile(path_) && TOVK_Utils::flushDirectory(folder_);
    }
    file_.close();
    moveTo(State::Closed);
    end_ = 0;
    recorded_.clear();
    return gone;
}

RecoveryResult DbxJournal::recover(const Block& mailboxPath) {
    using Outcome = RecoveryResult::Outcome;
    using Change = RecoveryResult::Change;
    RecoveryResult result;
    String name = nameOf(mailboxPath);
    String path = journalPath(mailboxPath);
    String journalName = nameOf(path);
    String folder = folderOf(mailboxPath);
    auto finish = [&](Outcome outcome, String text) {
        result.outcome = outcome;
        result.text = std::move(text);
        return result;
    };
    auto nothing = [&]() {
        return finish(Outcome::NothingToRecover,
                      (Message(name) << "Nothing in " << name << " needed restoring.").take());
    };
    auto kept = [&](Change change, const char* why) {
        result.change = change;
        return finish(Outcome::KeptMailboxChanged,
                      (Message(name) << name << " was left as it is: " << why << ". The journal "
                                     << journalName << " is kept.")
                          .take());
    };
    auto inUse = [&]() {
        return finish(Outcome::InUse,
                      (Message(name) << name
                                     << " is in use by another program, so what an interrupted "
                                        "run left in it could not be checked. Close the other "
                                        "program and try again.")
                          .take());
    };
    auto failed = [&](const char* what) {
        return finish(Outcome::Error, (Message(name) << name << what << " The journal "
                                                     << journalName << " is kept.")
                                          .take());
    };

    if (TOVK_Utils::getAttributes(path) == TOVK_Utils::NoAttributes)
        return nothing();

    // Taken by name before the mailbox is opened, so that no second handle of it comes and
    // goes while it is locked: a process lock on POSIX would go with that handle.
    FileIdentity identity = TOVK_Utils::fileIdentity(mailboxPath);
    File mailbox;
    // Others may go on reading; on Windows the sharing keeps every other writer out.
    bool opened = mailbox.openForReading(mailboxPath, true, File::ShareRead);
    if ((!opened && mailbox.lastErrorWasSharingViolation()) || (opened && !mailbox.lock()))
        return inUse();
    if (!opened)
        return failed(" could not be opened to restore what an interrupted run left "
                      "half-written.");

    // A journal that a running cut still holds is not a leftover.
    File journalFile;
    if (!journalFile.openForReading(path, true)) {
        if (journalFile.lastErrorWasSharingViolation())
            return inUse();
        if (TOVK_Utils::getAttributes(path) == TOVK_Utils::NoAttributes)
            return nothing(); // another run recovered it meanwhile
        return failed(" was left as it is: its journal could not be read.");
    }
    if (!journalFile.lock())
        return inUse();
    Block journal;
    if (!journalFile.readRest(journal))
        return failed(" was left as it is: its journal could not be read.");
    journalFile.close(); // Windows removes no file that is still open

    std::vector<Entry> entries;
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    const uint8_t* bytes = journal.rawPointer();
    size_t size = static_cast<size_t>(journal.byteSize());
    uint32_t spanNumber = 0;
    for (size_t at = 0; at < size;) {
        Entry entry;
        size_t consumed = 0;
        Parsed parsed = parseEntry(bytes + at, size - at, entry, consumed, spanNumber);
        if (parsed == Parsed::Foreign)
            return failed(" was left as it is: its journal is not one this program can read.");
        if (parsed == Parsed::Unfinished) {
            // record() returns only after its entry is whole on the disk, so nothing was
            // written for this one, and nothing can have come after it.
            result.discardedUnfinished = true;
            break;
        }
        ranges.insert(ranges.end(), entry.ranges.begin(), entry.ranges.end());
        entries.push_back(std::move(entry));
        at += consumed;
    }
    result.entries = static_cast<uint32_t>(entries.size());
    if (overlapping(ranges))
        return failed(" was left as it is: its journal is not one this program can read.");

    if (entries.empty()) {
        if (!dropJournal(path, folder))
            return failed(" was not changed by the interrupted run, but its journal could not be "
                          "removed.");
        if (!result.discardedUnfinished)
            return nothing();
        return finish(Outcome::NothingToRecover,
                      (Message(name)
                       << "An interrupted run left an unfinished journal beside " << name
                       << " before it had changed anything in it; the journal was "
                          "removed.")
                          .take());
    }

    uint64_t mailboxSize = mailbox.getSize(true);
    for (const Entry& entry : entries) {
        if (entry.mailboxSize != mailboxSize)
            return kept(Change::Size, "its size has changed since an interrupted run wrote its "
                                      "journal, so it may have been compacted or repaired in the "
                                      "meantime");
        // The file index alone: a device number may change between two boots (a USB or LVM
        // volume), and keeping the journal then would leave the message half-written. The
        // name, the size and the bytes of every piece are checked all the same.
        if (!identity.valid || entry.identity.index != identity.index)
            return kept(Change::Identity, "it is no longer the file an interrupted run wrote its "
                                          "journal for; it may have been compacted, repaired or "
                                          "replaced in the meantime");
    }

    // Every piece is judged before the first byte is written, so that a mailbox changed
    // since is left entirely alone.
    std::vector<const Piece*> restore;
    std::vector<uint8_t> current;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        for (const Piece& piece : entry->pieces) {
            current.resize(piece.length);
            if (!mailbox.seek(static_cast<int64_t>(piece.offset)) ||
                !mailbox.read(current.data(), piece.length))
                return failed(" could not be read to check what an interrupted run left in it.");
            uint64_t hash = hashBytes(current.data(), piece.length);
            if (hash == piece.oldHash)
                continue;
            if (hash != piece.newHash) {
                result.changedOffset = piece.offset;
                return kept(Change::Bytes, "some of its bytes are neither those an interrupted "
                                           "run found nor those it wrote, so it may have been "
                                           "compacted or repaired in the meantime");
            }
            restore.push_back(&piece);
        }
    }

    uint32_t lastSpan = UINT32_MAX;
    for (const Piece* piece : restore) {
        if (!mailbox.seek(static_cast<int64_t>(piece->offset)) ||
            !mailbox.write(piece->oldBytes, piece->length))
            return failed(" could not be written while restoring what an interrupted run left "
                          "half-written; restoring can be tried again.");
        if (piece->span != lastSpan)
            ++result.restoredSpans;
        lastSpan = piece->span;
    }
    if (!restore.empty() && !mailbox.flush())
        return failed(" could not be written while restoring what an interrupted run left "
                      "half-written; restoring can be tried again.");
    // The journal goes only once the old bytes are on the disk.
    if (!dropJournal(path, folder))
        return finish(Outcome::Error, (Message(name) << name << " is restored, but its journal "
                                                     << journalName << " could not be removed.")
                                          .take());
    if (result.restoredSpans == 0)
        return finish(Outcome::Restored, (Message(name) << "An interrupted run had not yet changed "
                                                        << name << "; its journal was removed.")
                                             .take());
    return finish(Outcome::Restored,
                  (Message(name) << "Restored " << uint64_t{result.restoredSpans}
                                 << (result.restoredSpans == 1 ? " block of " : " blocks of ")
                                 << name << " left half-written by an interrupted run.")
                      .take());
}

} // namespace TOVK_Internet
