#include "formats/Tnef.h"

namespace TOVK_Internet {

namespace {

// Attribute ids: the type in the high word, the id in the low one.
constexpr uint32_t attOemCodepage = 0x00069007;
constexpr uint32_t attAttachRendData = 0x00069002;
constexpr uint32_t attAttachTitle = 0x00018010;
constexpr uint32_t attAttachData = 0x0006800F;
constexpr uint32_t attAttachment = 0x00069005;

constexpr uint16_t prAttachLongFilename = 0x3707;
constexpr uint16_t ptString8 = 0x001E;
constexpr uint16_t ptUnicode = 0x001F;
constexpr uint16_t multiValued = 0x1000;

// A cursor that reads little-endian values and refuses to pass the end.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool has(size_t n) const { return bytes_.size() - pos_ >= n; }
    bool atEnd() const { return pos_ == bytes_.size(); }
    size_t position() const { return pos_; }
    uint32_t le(int n) {
        uint32_t value = 0;
        for (int i = n - 1; i >= 0; --i)
            value = (value << 8) | static_cast<uint8_t>(bytes_[pos_ + static_cast<size_t>(i)]);
        pos_ += static_cast<size_t>(n);
        return value;
    }
    std::string_view take(size_t n) {
        const std::string_view piece = bytes_.substr(pos_, n);
        pos_ += n;
        return piece;
    }
    // n bytes, then the padding to a multiple of 4 that follows them.
    bool skipPadded(uint64_t n) {
        const uint64_t padded = (n + 3) & ~uint64_t{3};
        if (padded > bytes_.size() - pos_)
            return false;
        pos_ += static_cast<size_t>(padded);
        return true;
    }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

// A name's bytes without the zeros that end it (two bytes a zero in UTF-16).
std::string withoutTerminator(std::string_view bytes, size_t unit) {
    while (bytes.size() >= unit &&
           bytes.substr(bytes.size() - unit).find_first_not_of('\0') == std::string_view::npos)
        bytes.remove_suffix(unit);
    return std::string(bytes);
}

// The size of one value of a fixed-length MAPI type, padded; 0 for a variable-length
// type, -1 for a type this reader does not know.
int fixedSize(uint16_t type) {
    switch (type) {
    case 0x0001: // null
    case 0x0002: // 16-bit integer, padded
    case 0x0003: // 32-bit integer
    case 0x0004: // float
    case 0x000A: // error code
    case 0x000B: // boolean, padded
        return 4;
    case 0x0005: // double
    case 0x0006: // currency
    case 0x0007: // application time
    case 0x0014: // 64-bit integer
    case 0x0040: // time
        return 8;
    case 0x0048: // GUID
        return 16;
    case ptString8:
    case ptUnicode:
    case 0x000D: // object
    case 0x00FB: // server id
    case 0x0102: // binary
        return 0;
    default:
        return -1;
    }
}

// Reads one attachment's MAPI properties for its long name. False when the list does not
// read to its end.
bool readProperties(std::string_view bytes, TnefFile& file, bool& longName) {
    Reader in(bytes);
    if (!in.has(4))
        return false;
    for (uint32_t count = in.le(4); count > 0; --count) {
        if (!in.has(4))
            return false;
        const uint16_t type = static_cast<uint16_t>(in.le(2));
        const uint16_t id = static_cast<uint16_t>(in.le(2));
        if (id >= 0x8000) { // a named property: its GUID, then a number or a name
            if (!in.has(20))
                return false;
            in.take(16);
            const uint32_t kind = in.le(4);
            if (kind > 1 || !in.has(4))
                return false;
            const uint32_t size = in.le(4);
            if (kind == 1 && !in.skipPadded(size))
                return false;
        }
        const int size = fixedSize(type & ~multiValued);
        if (size < 0)
            return false;
        uint32_t values = 1;
        if ((type & multiValued) || size == 0) {
            if (!in.has(4))
                return false;
            values = in.le(4);
        }
        for (; values > 0; --values) {
            if (size > 0) {
                if (!in.skipPadded(static_cast<uint64_t>(size)))
                    return false;
                continue;
            }
            if (!in.has(4))
                return false;
            const uint32_t length = in.le(4);
            const size_t at = in.position();
            if (!in.skipPadded(length))
                return false;
            if (id == prAttachLongFilename && (type == ptString8 || type == ptUnicode)) {
                const size_t unit = type == ptUnicode ? 2 : 1;
                file.name = withoutTerminator(bytes.substr(at, length), unit);
                if (type == ptUnicode)
                    file.charset = "utf-16le";
                longName = true;
            }
        }
    }
    return in.atEnd();
}

// An attachment as its attributes come.
struct Attachment {
    TnefFile file;
    bool hasData = false;
    bool longName = false;
};

} // namespace

TnefContent Tnef::read(std::string_view bytes) {
    TnefContent content;
    Reader in(bytes);
    if (!in.has(6) || in.le(4) != signature)
        return content;
    content.isTnef = true;
    in.take(2); // the legacy key
    bool clean = true;
    std::string codePage; // of the 8-bit names
    std::vector<Attachment> attachments;
    auto current = [&]() -> Attachment& {
        if (attachments.empty())
            attachments.emplace_back(); // an attachment's attribute before its start
        return attachments.back();
    };
    while (!in.atEnd()) {
        if (!in.has(9)) {
            clean = false;
            break;
        }
        const uint32_t level = in.le(1);
        const uint32_t id = in.le(4);
        const uint32_t length = in.le(4);
        if (length > bytes.size() - in.position() || !in.has(static_cast<size_t>(length) + 2)) {
            clean = false;
            break;
        }
        const std::string_view data = in.take(length);
        uint32_t sum = 0;
        for (char c : data)
            sum += static_cast<uint8_t>(c);
        if (in.le(2) != (sum & 0xFFFF) || (level != 1 && level != 2))
            clean = false;
        if (id == attOemCodepage && data.size() >= 4) {
            codePage = "cp" + std::to_string(Reader(data).le(4));
        } else if (id == attAttachRendData) {
            attachments.emplace_back();
        } else if (id == attAttachTitle) {
            if (!current().longName)
                current().file.name = withoutTerminator(data, 1);
        } else if (id == attAttachData) {
            current().file.data = data;
            current().hasData = true;
        } else if (id == attAttachment) {
            Attachment& attachment = current();
            clean = readProperties(data, attachment.file, attachment.longName) && clean;
        }
    }
    for (Attachment& attachment : attachments) {
        if (!attachment.hasData)
            continue;
        if (attachment.file.charset.empty() && !attachment.file.name.empty())
            attachment.file.charset = codePage;
        content.files.push_back(std::move(attachment.file));
    }
    content.clean = clean;
    return content;
}

} // namespace TOVK_Internet
