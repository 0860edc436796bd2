#include "formats/BinHex.h"

#include <algorithm>
#include <array>

using TOVK_Utils::Block;

namespace TOVK_Internet {

namespace {

constexpr std::string_view marker = "(This file must be converted with BinHex";
constexpr std::string_view alphabet =
    "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
constexpr uint8_t notInAlphabet = 0xFF;
constexpr uint8_t runMarker = 0x90;

constexpr std::array<uint8_t, 256> makeSixBitTable() {
    std::array<uint8_t, 256> table{};
    for (auto& v : table)
        v = notInAlphabet;
    for (size_t i = 0; i < alphabet.size(); ++i)
        table[static_cast<uint8_t>(alphabet[i])] = static_cast<uint8_t>(i);
    return table;
}
constexpr std::array<uint8_t, 256> sixBits = makeSixBitTable();

// CRC-16 with the CCITT polynomial 0x1021, starting at 0, most significant bit first (the
// XMODEM variant); BinHex's own form, which runs two zero bytes through after the data,
// gives the same value.
constexpr std::array<uint16_t, 256> makeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        table[i] = static_cast<uint16_t>(crc);
    }
    return table;
}
constexpr std::array<uint16_t, 256> crcTable = makeCrcTable();

uint16_t crcAdd(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>((crc << 8) ^ crcTable[((crc >> 8) ^ byte) & 0xFF]);
}

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool allWhite(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isWhite);
}

uint32_t bigEndian(const uint8_t* p, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

// Takes the decoded bytes one by one: the header, the data fork (kept), the resource fork
// (checked), each followed by its CRC.
class ForkReader {
public:
    ForkReader(Block& dataFork, BinHexFile& file) : out_(dataFork), file_(file) {}

    void put(uint8_t byte) {
        switch (stage_) {
        case Stage::Header:
            header(byte);
            break;
        case Stage::DataFork:
            crc_ = crcAdd(crc_, byte);
            if (written_ == room_)
                makeRoom();
            if (stage_ == Stage::Failed)
                break;
            base_[written_++] = byte;
            if (--left_ == 0)
                stage_ = Stage::DataCrc;
            break;
        case Stage::ResourceFork:
            crc_ = crcAdd(crc_, byte);
            if (--left_ == 0)
                stage_ = Stage::ResourceCrc;
            break;
        case Stage::DataCrc:
        case Stage::ResourceCrc:
            checksum(byte);
            break;
        case Stage::Done:
            extra = true;
            break;
        case Stage::Failed:
            break;
        }
    }

    // The reader wants no more: its file ended, or it cannot go on.
    bool over() const { return stage_ == Stage::Failed || (stage_ == Stage::Done && extra); }
    bool ended() const { return stage_ == Stage::Done; }
    int32_t written() const { return written_; }

    bool checksumsHeld = true;
    bool extra = false; // bytes after the resource fork's CRC

private:
    enum class Stage { Header, DataFork, DataCrc, ResourceFork, ResourceCrc, Done, Failed };
    static constexpr int fieldsAfterName = 1 + 4 + 4 + 2 + 4 + 4; // version ... lengths

    void header(uint8_t byte) {
        header_[headerSize_++] = byte;
        if (headerSize_ == 1) {
            if (byte == 0 || byte > 63) {
                stage_ = Stage::Failed; // no header starts so
                return;
            }
            headerNeeded_ = 1 + byte + fieldsAfterName + 2;
        }
        if (headerSize_ < headerNeeded_)
            return;
        uint16_t crc = 0;
        for (int i = 0; i < headerNeeded_ - 2; ++i)
            crc = crcAdd(crc, header_[i]);
        checksumsHeld = bigEndian(header_ + headerNeeded_ - 2, 2) == crc;
        const uint8_t* fields = header_ + 1 + header_[0] + 1; // past the version
        file_.name.assign(reinterpret_cast<const char*>(header_ + 1), header_[0]);
        file_.type = bigEndian(fields, 4);
        file_.creator = bigEndian(fields + 4, 4);
        file_.flags = static_cast<uint16_t>(bigEndian(fields + 8, 2));
        file_.dataLength = bigEndian(fields + 10, 4);
        file_.resourceLength = bigEndian(fields + 14, 4);
        file_.found = true;
        left_ = file_.dataLength;
        stage_ = left_ > 0 ? Stage::DataFork : Stage::DataCrc;
    }

    void checksum(uint8_t byte) {
        stored_ = static_cast<uint16_t>((stored_ << 8) | byte);
        if (++crcBytes_ < 2)
            return;
        checksumsHeld = checksumsHeld && stored_ == crc_;
        crc_ = 0;
        crcBytes_ = 0;
        if (stage_ == Stage::ResourceCrc) {
            stage_ = Stage::Done;
            return;
        }
        left_ = file_.resourceLength;
        stage_ = left_ > 0 ? Stage::ResourceFork : Stage::ResourceCrc;
    }

    // Room for more of the data fork: what the header claims, in steps, so that a claim
    // the text cannot hold costs nothing.
    void makeRoom() {
        const int64_t wanted = std::min<int64_t>({std::max<int64_t>(2 * int64_t(written_), 65536),
                                                  int64_t(file_.dataLength), BinHex::maxDataFork});
        if (wanted <= written_) {
            stage_ = Stage::Failed;
            return;
        }
        out_.resize(static_cast<int32_t>(wanted));
        base_ = out_.data();
        room_ = out_.byteSize();
    }

    Block& out_;
    BinHexFile& file_;
    Stage stage_ = Stage::Header;
    uint8_t header_[1 + 63 + fieldsAfterName + 2] = {};
    int headerSize_ = 0;
    int headerNeeded_ = 1;
    uint16_t crc_ = 0;
    uint16_t stored_ = 0;
    int crcBytes_ = 0;
    uint32_t left_ = 0;
    int32_t written_ = 0;
    uint8_t* base_ = nullptr;
    int32_t room_ = 0;
};

// Undoes the run-length coding: 0x90 and a count n repeat the byte before it to n in all;
// 0x90 and 0 is 0x90 itself.
class RunLength {
public:
    explicit RunLength(ForkReader& reader) : reader_(reader) {}

    void put(uint8_t byte) {
        if (!escaped_) {
            if (byte == runMarker)
                escaped_ = true;
            else
                emit(byte);
            return;
        }
        escaped_ = false;
        if (byte == 0) {
            emit(runMarker);
            return;
        }
        if (!hasLast_)
            broken = true; // a run of nothing
        for (int i = 1; i < byte && hasLast_ && !reader_.over(); ++i)
            reader_.put(last_);
    }
    bool pending() const { return escaped_; }

    bool broken = false;

private:
    void emit(uint8_t byte) {
        last_ = byte;
        hasLast_ = true;
        reader_.put(byte);
    }

    ForkReader& reader_;
    uint8_t last_ = 0;
    bool hasLast_ = false;
    bool escaped_ = false;
};

// Where the data lies: [open, close) between the colons; close is the text's end when the
// closing colon is missing. False when no line begins with a colon.
bool findData(std::string_view text, size_t& open, size_t& close, bool& tidy) {
    const size_t at = text.find(marker);
    size_t from = 0;
    tidy = at != std::string_view::npos;
    if (tidy) {
        tidy = allWhite(text.substr(0, at));
        from = std::min(text.find('\n', at), text.size());
    }
    for (open = text.find(':', from); open != std::string_view::npos;
         open = text.find(':', open + 1)) {
        size_t lineStart = open;
        while (lineStart > from && (text[lineStart - 1] == ' ' || text[lineStart - 1] == '\t'))
            --lineStart;
        if (lineStart == from || text[lineStart - 1] == '\n')
            break;
    }
    if (open == std::string_view::npos)
        return false;
    tidy = tidy && allWhite(text.substr(from, open - from));
    close = std::min(text.find(':', open + 1), text.size());
    tidy = tidy && close < text.size() && allWhite(text.substr(close + 1));
    ++open;
    return true;
}

} // namespace

BinHexFile BinHex::decode(std::string_view text, Block& dataFork) {
    BinHexFile file;
    dataFork.setWide(false);
    dataFork.resize(0);
    size_t open = 0, close = 0;
    bool tidy = false;
    if (!findData(text, open, close, tidy))
        return file;
    ForkReader reader(dataFork, file);
    RunLength runs(reader);
    bool onlyAlphabet = true;
    uint32_t bits = 0;
    int bitCount = 0;
    for (size_t i = open; i < close && !reader.over(); ++i) {
        const uint8_t value = sixBits[static_cast<uint8_t>(text[i])];
        if (value == notInAlphabet) {
            onlyAlphabet = onlyAlphabet && isWhite(text[i]);
            continue;
        }
        bits = (bits << 6) | value;
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            runs.put(static_cast<uint8_t>(bits >> bitCount));
            bits &= (1u << bitCount) - 1;
        }
    }
    dataFork.resize(reader.written());
    file.clean = file.found && tidy && onlyAlphabet && reader.ended() && !reader.extra &&
                 reader.checksumsHeld && !runs.broken && !runs.pending() &&
                 file.dataLength == static_cast<uint32_t>(reader.written());
    return file;
}

} // namespace TOVK_Internet
