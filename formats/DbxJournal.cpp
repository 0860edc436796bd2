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
    // Begins as an entry but is not whole: torn while it was written (never acted on), or
    // cut short or changed since (perhaps acted on). Only the mailbox's bytes can tell.
    Damaged,
    Foreign,    // whole, but not a journal this program wrote
    NotJournal, // does not even begin as an entry
};

Parsed parseEntry(const uint8_t* bytes, size_t available, Entry& entry, size_t& consumed,
                  uint32_t& spanNumber) {
    // The name, the length and the checksum stay where they are in every version, so that
    // a torn entry is told from a later version's whole one.
    if (std::memcmp(bytes, magic, std::min(available, magicNameBytes)) != 0)
        return Parsed::NotJournal;
    if (available < headerBytes + checksumBytes)
        return Parsed::Damaged;
    uint64_t length = load(bytes + 8, 8);
    if (length < headerBytes + checksumBytes || length > available)
        return Parsed::Damaged;
    size_t body = static_cast<size_t>(length) - checksumBytes;
    if (hashBytes(bytes, body) != load(bytes + body, 8))
        return Parsed::Damaged;
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

// The pieces a damaged entry still names, with their old hashes (their old bytes may be
// gone): true only when its header and every span head it announces can be read and add up
// to the length it gives, so that no span it named can have been lost unseen.
bool readNamed(const uint8_t* bytes, size_t available, std::vector<Piece>& named,
               size_t& consumed) {
    if (available < headerBytes || std::memcmp(bytes, magic, sizeof magic) != 0)
        return false;
    const uint64_t length = load(bytes + 8, 8);
    const uint64_t mailboxSize = load(bytes + 16, 8);
    const uint64_t spans = load(bytes + 40, 4);
    if (load(bytes + 44, 4) != DbxJournal::pieceBytes)
        return false;
    uint64_t at = headerBytes;
    for (uint64_t s = 0; s < spans; ++s) {
        if (available - at < spanHeadBytes)
            return false;
        const uint64_t offset = load(bytes + at, 8);
        const auto spanLength = static_cast<uint32_t>(load(bytes + at + 8, 4));
        at += spanHeadBytes;
        if (spanLength == 0 || offset > mailboxSize || spanLength > mailboxSize - offset)
            return false;
        const uint64_t hashBytesOfSpan =
            pieceCount(offset, spanLength, DbxJournal::pieceBytes) * pieceHashBytes;
        if (available - at < hashBytesOfSpan)
            return false;
        const uint8_t* hashes = bytes + at;
        forEachPiece(offset, spanLength, DbxJournal::pieceBytes,
                     [&](uint64_t start, uint32_t count) {
                         named.push_back({start, count, nullptr, load(hashes, 8), 0, 0});
                         hashes += pieceHashBytes;
                     });
        at += hashBytesOfSpan + spanLength; // the old bytes, which may be cut off
        // Only the last span's old bytes can be cut off; a span head cut off is lost.
        if (at > length || (at > available && s + 1 < spans))
            return false;
    }
    if (at + checksumBytes != length)
        return false;
    consumed = static_cast<size_t>(std::min<uint64_t>(length, available));
    return true;
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

// The journal under a free name beside it, and that name in its folder on the disk.
bool setJournalAside(const Block& journal, const Block& mailboxPath, const Block& folder,
                     String& aside) {
    aside = DbxJournal::setAsidePath(mailboxPath);
    return TOVK_Utils::getAttributes(aside) == TOVK_Utils::NoAttributes &&
           TOVK_Utils::renameFile(journal, aside) && TOVK_Utils::flushDirectory(folder);
}

// Gone, or, when the name cannot be removed, emptied: either way nothing is left to do.
bool dropJournal(const Block& journal, const Block& folder) {
    if (TOVK_Utils::removeFile(journal))
        return TOVK_Utils::flushDirectory(folder);
    File emptied;
    return emptied.openForWriting(journal, TOVK_Utils::IfExists::Replace) && emptied.flush();
}

} // namespace

DbxJournal::~DbxJournal() {
    close();
}

String DbxJournal::journalPath(const Block& mailboxPath) {
    String path(mailboxPath);
    path.append(Block(".klovin-undo"));
    return path;
}

String DbxJournal::setAsidePath(const Block& mailboxPath) {
    String first = journalPath(mailboxPath);
    first.append(Block(".damaged"));
    String path(first);
    String number;
    for (int64_t n = 1; TOVK_Utils::getAttributes(path) != TOVK_Utils::NoAttributes; ++n) {
        number.setDecimal(n);
        path.assign(first);
        path.append(number);
    }
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
        if (!file_.openForWriting(path_, TOVK_Utils::IfExists::Replace))
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

namespace {

using Outcome = RecoveryResult::Outcome;
using Change = RecoveryResult::Change;
using Failure = RecoveryResult::Failure;

// Each step of recover() below: false when recovery ends there, with result saying why.
bool endWith(RecoveryResult& result, Outcome outcome, Failure failure = Failure::None) {
    result.outcome = outcome;
    result.failure = failure;
    return false;
}

bool kept(RecoveryResult& result, Change change) {
    result.change = change;
    return endWith(result, Outcome::KeptMailboxChanged);
}

// The mailbox, locked, and the journal's bytes. Taken by name before the mailbox is opened,
// so that no second handle of it comes and goes while it is locked: a process lock on
// POSIX would go with that handle.
bool takeBoth(const Block& mailboxPath, const Block& path, File& mailbox, Block& journal,
              RecoveryResult& result) {
    // Others may go on reading; on Windows the sharing keeps every other writer out.
    const bool opened =
        mailbox.openForReading(mailboxPath, File::Access::ReadWrite, File::ShareRead);
    if ((!opened && mailbox.lastErrorWasSharingViolation()) || (opened && !mailbox.lock()))
        return endWith(result, Outcome::InUse);
    if (!opened) {
        // An empty journal records nothing: it can wait for a run that may write the mailbox.
        File journalFile;
        if (journalFile.openForReading(path) && journalFile.getSize() == 0)
            return endWith(result, Outcome::NothingToRecover);
        return endWith(result, Outcome::Error, Failure::MailboxNotOpened);
    }
    // A journal that a running cut still holds is not a leftover.
    File journalFile;
    if (!journalFile.openForReading(path, File::Access::ReadWrite)) {
        if (journalFile.lastErrorWasSharingViolation())
            return endWith(result, Outcome::InUse);
        if (TOVK_Utils::getAttributes(path) == TOVK_Utils::NoAttributes)
            return endWith(result, Outcome::NothingToRecover); // recovered by another meanwhile
        return endWith(result, Outcome::Error, Failure::JournalUnreadable);
    }
    if (!journalFile.lock())
        return endWith(result, Outcome::InUse);
    if (!journalFile.readRest(journal))
        return endWith(result, Outcome::Error, Failure::JournalUnreadable);
    journalFile.close(); // Windows removes no file that is still open
    return true;
}

// What a journal holds: its whole entries in the order they were recorded, and what its
// damaged part (when it has one) still names.
struct Contents {
    enum class Damage {
        None,
        Named,   // every damaged entry's pieces are known, and can prove it never acted
        Unknown, // something is there whose pieces cannot all be known
    };
    std::vector<Entry> entries;
    std::vector<Piece> named;
    Damage damage = Damage::None;
};

bool parseJournal(const Block& journal, Contents& contents, RecoveryResult& result) {
    using Damage = Contents::Damage;
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    const uint8_t* bytes = journal.rawPointer();
    const size_t size = static_cast<size_t>(journal.byteSize());
    uint32_t spanNumber = 0;
    for (size_t at = 0; at < size;) {
        Entry entry;
        size_t consumed = 0;
        const Parsed parsed = parseEntry(bytes + at, size - at, entry, consumed, spanNumber);
        if (parsed == Parsed::Foreign)
            return endWith(result, Outcome::Error, Failure::JournalForeign);
        if (parsed == Parsed::NotJournal ||
            (parsed == Parsed::Damaged &&
             !readNamed(bytes + at, size - at, contents.named, consumed))) {
            contents.damage = Damage::Unknown;
            break;
        }
        at += consumed;
        if (parsed == Parsed::Damaged) {
            contents.damage = Damage::Named;
            continue;
        }
        ranges.insert(ranges.end(), entry.ranges.begin(), entry.ranges.end());
        contents.entries.push_back(std::move(entry));
    }
    result.entries = static_cast<uint32_t>(contents.entries.size());
    if (overlapping(ranges))
        return endWith(result, Outcome::Error, Failure::JournalForeign);
    return true;
}

// Noted only: the pieces decide. A device number may change between two boots (a USB or
// LVM volume), a copy to another disk gets a new index, and the mail client may append
// messages meanwhile; refusing then would leave a message half-written for good.
void noteChanges(const std::vector<Entry>& entries, File& mailbox, const FileIdentity& identity,
                 RecoveryResult& result) {
    const uint64_t mailboxSize = mailbox.getSize(File::Refresh::Always);
    for (const Entry& entry : entries) {
        result.sizeDiffered = result.sizeDiffered || entry.mailboxSize != mailboxSize;
        result.indexDiffered =
            result.indexDiffered || !identity.valid || entry.identity.index != identity.index;
    }
}

// The hash of what the mailbox holds at the piece; false when it could not be read.
bool currentHash(const Piece& piece, File& mailbox, std::vector<uint8_t>& buffer, uint64_t& hash) {
    buffer.resize(piece.length);
    if (!mailbox.seek(static_cast<int64_t>(piece.offset)) ||
        !mailbox.read(buffer.data(), piece.length))
        return false;
    hash = hashBytes(buffer.data(), piece.length);
    return true;
}

// Whether every piece a damaged entry names holds its old bytes, which proves that the
// entry was never acted on.
bool holdOldBytes(const std::vector<Piece>& named, File& mailbox, RecoveryResult& result) {
    const uint64_t mailboxSize = mailbox.getSize(File::Refresh::Always);
    std::vector<uint8_t> current;
    for (const Piece& piece : named) {
        uint64_t hash = 0;
        if (piece.offset + piece.length > mailboxSize)
            return false;
        if (!currentHash(piece, mailbox, current, hash))
            return endWith(result, Outcome::Error, Failure::MailboxUnreadable);
        if (hash != piece.oldHash)
            return false;
    }
    return true;
}

// Every piece is judged before the first byte is written, so that a mailbox changed since
// is left entirely alone: restore receives the pieces that hold their new bytes.
bool judgePieces(const std::vector<Entry>& entries, File& mailbox,
                 std::vector<const Piece*>& restore, RecoveryResult& result) {
    const uint64_t mailboxSize = mailbox.getSize(File::Refresh::Always);
    std::vector<uint8_t> current;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        for (const Piece& piece : entry->pieces) {
            if (piece.offset + piece.length > mailboxSize) {
                result.changedOffset = piece.offset;
                return kept(result, Change::Size);
            }
            uint64_t hash = 0;
            if (!currentHash(piece, mailbox, current, hash))
                return endWith(result, Outcome::Error, Failure::MailboxUnreadable);
            if (hash == piece.oldHash)
                continue;
            if (hash != piece.newHash) {
                result.changedOffset = piece.offset;
                return kept(result, Change::Bytes);
            }
            restore.push_back(&piece);
        }
    }
    return true;
}

bool putBack(const std::vector<const Piece*>& restore, File& mailbox, RecoveryResult& result) {
    uint32_t lastSpan = UINT32_MAX;
    for (const Piece* piece : restore) {
        if (!mailbox.seek(static_cast<int64_t>(piece->offset)) ||
            !mailbox.write(piece->oldBytes, piece->length))
            return endWith(result, Outcome::Error, Failure::MailboxUnwritable);
        if (piece->span != lastSpan)
            ++result.restoredSpans;
        lastSpan = piece->span;
    }
    if (!restore.empty() && !mailbox.flush())
        return endWith(result, Outcome::Error, Failure::MailboxUnwritable);
    return true;
}

} // namespace

RecoveryResult DbxJournal::recover(const Block& mailboxPath) {
    RecoveryResult result;
    const String path = journalPath(mailboxPath);
    const String folder = folderOf(mailboxPath);
    if (TOVK_Utils::getAttributes(path) == TOVK_Utils::NoAttributes)
        return result;
    const FileIdentity identity = TOVK_Utils::fileIdentity(mailboxPath);
    File mailbox;
    Block journal;
    Contents contents;
    if (!takeBoth(mailboxPath, path, mailbox, journal, result) ||
        !parseJournal(journal, contents, result))
        return result;
    noteChanges(contents.entries, mailbox, identity, result);
    std::vector<const Piece*> restore;
    if (!judgePieces(contents.entries, mailbox, restore, result))
        return result;
    // Judged before anything is put back, against the bytes the interrupted run left.
    bool neverActedOn = contents.damage == Contents::Damage::None;
    if (contents.damage == Contents::Damage::Named) {
        neverActedOn = holdOldBytes(contents.named, mailbox, result);
        if (result.outcome == Outcome::Error)
            return result;
    }
    if (!putBack(restore, mailbox, result))
        return result;
    // The journal goes only once the old bytes are on the disk, and only when nothing it
    // may still record is left undone.
    if (!neverActedOn) {
        if (!setJournalAside(path, mailboxPath, folder, result.setAsidePath))
            endWith(result, Outcome::Error, Failure::JournalNotSetAside);
        else
            result.outcome = Outcome::SetAside;
        return result;
    }
    result.discardedUnfinished = contents.damage != Contents::Damage::None;
    if (!dropJournal(path, folder))
        endWith(result, Outcome::Error,
                contents.entries.empty() ? Failure::JournalNotRemoved
                                         : Failure::RestoredJournalNotRemoved);
    else
        result.outcome = contents.entries.empty() ? Outcome::NothingToRecover : Outcome::Restored;
    return result;
}

} // namespace TOVK_Internet
