#include "engine/JobPaths.h"

#include "utils/FileSystem.h"

using TOVK_Utils::Block;
using TOVK_Utils::Path;
using TOVK_Utils::String;

void workPath(String& out, const Block& text) {
    if (TOVK_Utils::widePathsPreferred())
        out.toWide(text);
    else
        out.toNarrow(text);
}

void mailboxPath(Path& path, const String& folder, const Block& name) {
    String folderText;
    workPath(folderText, folder);
    path.join(folderText, name);
    path.append(String(".dbx"), Path::Separator::None);
}
