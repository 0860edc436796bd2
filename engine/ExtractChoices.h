// ExtractChoices: what the user chose beyond the folders, backups and cutting. Each
// choice is off when default-constructed, so that a job without them does what it
// always did.
#pragma once

#include "utils/String.h"

#include <cstdint>
#include <string>
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
    int64_t minSize = 0;
    // Each cut part is replaced by a short note saying where its file went (cutting only).
    bool leaveNote = false;
};
