// AppSettings: the user's choices and the discovered mail store folders, shared by the
// windows and the extraction job. The program loads it once before any window exists and
// saves it once after the message loop has ended; nothing in between touches the registry.
#pragma once

#include "utils/String.h"

#include <cstdint>

struct WindowRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

class AppSettings {
public:
    AppSettings();

    // Fills the persisted fields from HKEY_CURRENT_USER\Software\Klovinware\Klovin
    // Attachment Extractor, creating the program's two keys on a first start. The texts
    // are read first and a missing one ends the load, so the fields after it keep what
    // they had; flags are taken only from REG_DWORD values. Never reports an error.
    void load();
    // Writes the persisted fields; the first failed write ends the save. Never reports an
    // error. The values beside the four of the first versions are read after them, apart,
    // so that a first start after an update keeps the four.
    void save();

    // Only width and height matter: the main window is centred after it is placed.
    WindowRect mainWindowRect;
    bool createBackups;
    bool cutAttachments;
    // "Write a list of the saved attachments": attachments.csv in the destination folder.
    bool writeList = false;
    // "A folder for each mailbox".
    bool folderPerMailbox = false;
    // Found in the mail clients' registry entries at every start; never persisted.
    TOVK_Utils::String outlookExpressStoreRoot;
    TOVK_Utils::String windowsMailStoreRoot;
    TOVK_Utils::String windowsLiveMailStoreRoot;
    // As the user or the registry gave them: no trailing separator is added or removed.
    TOVK_Utils::String backupFolder;
    TOVK_Utils::String extractFolder;
    // What to take, and the note in cut messages. onlyTypes as the user wrote it ("pdf
    // doc docx"; empty: every type); minSizeKB 0: any size.
    bool skipInlineImages = false;
    TOVK_Utils::String onlyTypes;
    uint32_t minSizeKB = 0;
    bool leaveNote = false;
};
