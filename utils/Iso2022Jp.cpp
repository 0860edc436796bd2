#include "Iso2022Jp.h"

#include <cstring>

namespace TOVK_Utils {

namespace {

constexpr char Esc = 0x1B;
constexpr char ShiftOut = 0x0E; // the katakana of JIS X 0201, in 7 bits, until ShiftIn
constexpr char ShiftIn = 0x0F;

enum class Set { Ascii, Katakana, Jis0208, Gb2312, Ksc5601, Unreadable };

struct Designation {
    const char* sequence; // after ESC
    Set set;
    bool plain; // ISO-2022-JP itself has it
};

// Into G0. The first plane of JIS X 0213 is read as the JIS X 0208 it extends (the
// characters it added come out as their neighbours in code page 932 would); JIS X 0212 and
// the second plane have no code page.
const Designation designations[] = {
    {"(B", Set::Ascii, true},     {"(J", Set::Ascii, true},        {"(I", Set::Katakana, true},
    {"$@", Set::Jis0208, true},   {"$B", Set::Jis0208, true},      {"$(B", Set::Jis0208, false},
    {"$(O", Set::Jis0208, false}, {"$(Q", Set::Jis0208, false},    {"$A", Set::Gb2312, false},
    {"$(C", Set::Ksc5601, false}, {"$(D", Set::Unreadable, false}, {"$(P", Set::Unreadable, false},
};

// Into G2 (ISO-2022-JP-2), whose characters come one at a time after ESC N.
struct HighHalf {
    const char* sequence;
    unsigned codePage;
};
const HighHalf highHalves[] = {{".A", 28591}, {".F", 28597}};

bool startsWith(const char* text, int32_t n, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return static_cast<size_t>(n) >= length && std::memcmp(text, prefix, length) == 0;
}

bool isGraphic(unsigned char c) {
    return c >= 0x21 && c <= 0x7E;
}

// JIS X 0208's row and cell bytes as Shift_JIS.
void appendShiftJis(std::string& out, unsigned char row, unsigned char cell) {
    unsigned lead = (row + 1u) / 2u + 0x70u;
    if (lead >= 0xA0)
        lead += 0x40;
    unsigned trail = cell + ((row & 1u) ? 0x1Fu : 0x7Eu);
    if ((row & 1u) && trail >= 0x7F)
        ++trail;
    out.push_back(static_cast<char>(lead));
    out.push_back(static_cast<char>(trail));
}

class Runs {
public:
    void add(unsigned codePage, const char* bytes, size_t n) {
        if (runs_.empty() || runs_.back().codePage != codePage || codePage == 0)
            runs_.push_back(Iso2022JpRun{codePage, {}, 0});
        runs_.back().bytes.append(bytes, n);
    }
    void add(unsigned codePage, char a) { add(codePage, &a, 1); }
    void add(unsigned codePage, char a, char b) {
        const char pair[2] = {a, b};
        add(codePage, pair, 2);
    }
    void unreadable() {
        if (runs_.empty() || runs_.back().codePage != 0)
            runs_.push_back(Iso2022JpRun{0, {}, 0});
        ++runs_.back().unreadable;
    }
    std::vector<Iso2022JpRun> take() { return std::move(runs_); }

private:
    std::vector<Iso2022JpRun> runs_;
};

// The escape sequence at text (ESC found there): its length, and what it designates.
int32_t escapeAt(const char* text, int32_t n, const Designation*& g0, const HighHalf*& g2) {
    g0 = nullptr;
    g2 = nullptr;
    for (const Designation& d : designations)
        if (startsWith(text + 1, n - 1, d.sequence)) {
            g0 = &d;
            return 1 + static_cast<int32_t>(std::strlen(d.sequence));
        }
    for (const HighHalf& h : highHalves)
        if (startsWith(text + 1, n - 1, h.sequence)) {
            g2 = &h;
            return 3;
        }
    return 0;
}

// One character of a 94x94 set at text (two bytes readable there): how many bytes it took.
int32_t doubleByte(Set set, const char* text, int32_t n, Runs& runs) {
    const auto first = static_cast<unsigned char>(text[0]);
    if (n < 2 || !isGraphic(static_cast<unsigned char>(text[1]))) {
        runs.unreadable();
        return 1;
    }
    const auto second = static_cast<unsigned char>(text[1]);
    std::string pair;
    switch (set) {
    case Set::Jis0208:
        appendShiftJis(pair, first, second);
        runs.add(932, pair.data(), pair.size());
        break;
    case Set::Gb2312:
        runs.add(936, static_cast<char>(first | 0x80), static_cast<char>(second | 0x80));
        break;
    case Set::Ksc5601:
        runs.add(949, static_cast<char>(first | 0x80), static_cast<char>(second | 0x80));
        break;
    default:
        runs.unreadable();
        break;
    }
    return 2;
}

} // namespace

std::vector<Iso2022JpRun> splitIso2022Jp(const char* text, int32_t n) {
    Runs runs;
    Set g0 = Set::Ascii;
    unsigned g2 = 0;
    bool shiftedOut = false;
    for (int32_t i = 0; i < n;) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == Esc) {
            const Designation* designation;
            const HighHalf* highHalf;
            const int32_t length = escapeAt(text + i, n - i, designation, highHalf);
            if (designation)
                g0 = designation->set;
            else if (highHalf)
                g2 = highHalf->codePage;
            if (length > 0) {
                i += length;
            } else if (i + 2 < n && text[i + 1] == 'N') {
                // One character of G2; without a set there, a character nobody can read.
                if (g2 != 0 && isGraphic(static_cast<unsigned char>(text[i + 2])))
                    runs.add(g2, static_cast<char>(text[i + 2] | 0x80));
                else
                    runs.unreadable();
                i += 3;
            } else {
                runs.unreadable();
                ++i;
            }
            continue;
        }
        if (c == ShiftOut || c == ShiftIn) {
            shiftedOut = c == ShiftOut;
            ++i;
            continue;
        }
        if (byte >= 0x80) {
            runs.unreadable(); // no 8-bit byte belongs in this 7-bit code
            ++i;
            continue;
        }
        const Set set = shiftedOut ? Set::Katakana : g0;
        if (!isGraphic(byte) || set == Set::Ascii) {
            runs.add(20127, c); // controls and the space stand for themselves in every set
            ++i;
        } else if (set == Set::Katakana) {
            if (byte <= 0x5F)
                runs.add(932, static_cast<char>(byte + 0x80));
            else
                runs.unreadable();
            ++i;
        } else {
            i += doubleByte(set, text + i, n - i, runs);
        }
    }
    return runs.take();
}

bool isPlainIso2022Jp(const char* text, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
        if (text[i] != Esc)
            continue;
        const Designation* designation;
        const HighHalf* highHalf;
        const int32_t length = escapeAt(text + i, n - i, designation, highHalf);
        if (!designation || !designation->plain)
            return false;
        i += length - 1;
    }
    return true;
}

} // namespace TOVK_Utils
