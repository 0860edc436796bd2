// AttachmentList: the list of the attachments a job found, one CSV row each (RFC 4180:
// a field with a comma, a quote, CR or LF is quoted and its quotes doubled; UTF-8 with a
// byte-order mark and CR LF line ends, so that a spreadsheet on Windows reads it with the
// right characters). A field that a spreadsheet would take for a formula (it starts with
// =, +, -, @, a tab or CR) is written behind an apostrophe. Each row is written whole as soon as it is known, so a job that is
// stopped, or a program that is ended, leaves a valid list of what was done.
#pragma once

#include "utils/Block.h"
#include "utils/File.h"
#include "utils/Path.h"

#include <cstdint>
#include <string>

class AttachmentList {
public:
    // The columns, in their order; texts in UTF-8.
    struct Row {
        std::string file;  // relative to the destination; empty when it could not be saved
        int64_t size = -1; // -1: not saved
        std::string sha256;
        std::string name; // as the message gave it, decoded
        std::string mailbox;
        std::string message;
        std::string date; // ISO 8601, empty when the message has no readable Date
        std::string from;
        std::string subject;
        std::string cut; // "cut", "kept: REASON", or empty when cutting is off
    };

    enum class Start {
        FreeName, // a new file at the path or its first free numbered name beside it
        Continue, // rows are added to the file at the path (the heading when it is empty)
    };

    ~AttachmentList();

    // False when the file cannot be made or opened; path() then names the one tried.
    bool open(const TOVK_Utils::Path& path, Start start);
    bool isOpen() const { return file_.isOpen(); }
    // False when the row could not be written (the list is closed then).
    bool add(const Row& row);
    // Flushes and closes the list; false when it did not all reach the file.
    bool finish();
    const TOVK_Utils::Path& path() const { return path_; }

    // One field as the list writes it.
    static void appendField(std::string& line, const std::string& field);
    // A text of the system (8-bit or wide) in UTF-8.
    static std::string utf8(const TOVK_Utils::Block& text);

private:
    bool createFree(const TOVK_Utils::Path& wanted);
    bool write(const std::string& bytes);

    TOVK_Utils::File file_;
    TOVK_Utils::Path path_;
    bool failed_ = false;
};
