// The paths a job makes, in the system's form: wide where the system prefers wide paths
// (Windows, for names outside the code page), 8-bit otherwise.
#pragma once

#include "utils/Block.h"
#include "utils/Path.h"
#include "utils/String.h"

#include <vector>

// A folder or file name from the settings or the list, in the system's form.
void workPath(TOVK_Utils::String& out, const TOVK_Utils::Block& text);
// folder, then name, then ".dbx": the file of a mailbox whose name the list shows.
void mailboxPath(TOVK_Utils::Path& path, const TOVK_Utils::String& folder,
                 const TOVK_Utils::Block& name);
// The folder below the destination that each row's attachments go into when every mailbox
// has its own: a mailbox's name, or a message folder's path below the root of the tree
// (the deepest folder that holds every row and is not itself a row), each name cleaned
// like an attachment's. The rows are the list's texts, in the system's form.
std::vector<TOVK_Utils::String> mailboxFolders(const std::vector<TOVK_Utils::String>& rows,
                                               bool emlFolders);
