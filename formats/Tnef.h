// TNEF, the form in which Outlook and Exchange send a message's formatted text and its
// attachments to mailers that are not theirs (application/ms-tnef, "winmail.dat"). The
// file is its signature 0x223E9F78, a key, then attributes, each a level (message or
// attachment), an id, a length, the data and a checksum (the data's bytes summed, 16
// bits). attAttachRendData begins an attachment, attAttachTitle gives its short name,
// attAttachData its bytes and attAttachment its MAPI properties, among them
// PR_ATTACH_LONG_FILENAME; attOemCodepage names the code page of the 8-bit names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace TOVK_Internet {

struct TnefFile {
    std::string name;      // the long name where the file holds one, else the short one
    std::string charset;   // of the name's bytes: "utf-16le", "cp" and the code page, or empty
    std::string_view data; // a view into the bytes read
};

struct TnefContent {
    bool isTnef = false; // the signature is there
    // Every attribute lay within the bytes with a checksum that held, every attachment's
    // properties were read to their end, and nothing followed the last attribute.
    bool clean = false;
    std::vector<TnefFile> files; // the attachments with bytes, in order
};

class Tnef {
public:
    static constexpr uint32_t signature = 0x223E9F78;

    // Reads the attachments out of TNEF bytes, which must stay alive while the files'
    // data is used. Never reads outside them.
    static TnefContent read(std::string_view bytes);
};

} // namespace TOVK_Internet
