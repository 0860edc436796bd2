// Fills the mailbox list from a mail store folder: the Outlook Express mailbox files of
// one folder, or the Windows Mail folders that hold message files. Both empty the list
// first; a folder that is missing or holds nothing gives an empty list, silently.
//
// The list's rows mean different things after each, so the caller keeps a flag saying
// which filled it last (the program's listShowsEmlFolders): false after listDbxMailboxes,
// true after listEmlFolders, whatever mail client the program serves.
#pragma once

#include "engine/MailboxList.h"
#include "utils/Block.h"

// One row per "*.dbx" file of folder (the current folder when folder is empty), in the
// order the file system gives them: column 0 the file name without its extension,
// column 1 the size as "%d KB" (whole kilobytes, truncated). The client's own files
// Folders.dbx, Offline.dbx and Pop3uidl.dbx (any case) are not mailboxes and are skipped.
void listDbxMailboxes(const TOVK_Utils::Block& folder, MailboxList& list);

// One row per folder at or below folder that directly holds a file whose extension is
// exactly "eml" (lower case), holding that folder's path. Depth first: a subfolder is
// scanned as soon as it is met, so its row can come before its parent's. Links and
// junctions to folders are not followed, so a link loop cannot make the scan endless.
void listEmlFolders(const TOVK_Utils::Block& folder, MailboxList& list);
