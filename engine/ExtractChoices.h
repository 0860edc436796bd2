// ExtractChoices: what the user chose beyond the folders, backups and cutting. Each
// choice is off when default-constructed, so that a job without them does what it
// always did.
#pragma once

#include "utils/String.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ExtractChoices {
    // A list of the saved attachments (CSV). listFile empty: attachments.csv in the
    // destination folder, under a free numbered name when that one is taken.
    bool writeList = false;
    TOVK_Utils::String listFile;
    // Each mailbox's attachments in a folder named after it; each message folder's under
    // its path below the tree's root.
    bool folderPerMailbox = false;
    // What to take: pictures the message text shows are skipped; only these extensions
    // (lower case, without the dot; empty: every file); nothing smaller than minSize bytes.
    bool skipInlineImages = false;
    std::vector<std::string> onlyTypes;
    // The types of a list as a user writes it in a box ("pdf doc docx", "PDF, .docx;xls"):
    // what spaces, commas and semicolons separate, from its last dot on ("tar.gz": "gz"),
    // in lower case.
    static std::vector<std::string> fileTypesOf(std::string_view list);
    // A file type or extension as onlyTypes holds it: ASCII letters in lower case.
    static std::string lowerCase(std::string_view type);
    int64_t minSize = 0;
    // Each cut part is replaced by a short note saying where its file went (cutting only).
    bool leaveNote = false;
};
