#include "engine/JobPaths.h"

#include "engine/AttachmentList.h"
#include "engine/AttachmentName.h"

#include "utils/FileSystem.h"
#include "utils/LightBlock.h"

#include <string>

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

namespace {

std::vector<std::string> components(const String& path) {
    const std::string text = AttachmentList::utf8(path);
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '/' && text[i] != '\\')
            continue;
        if (i > start)
            parts.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    return parts;
}

void cleanedName(String& out, const std::string& name) {
    const TOVK_Utils::LightBlock bytes(name.data(), static_cast<int32_t>(name.size()));
    AttachmentName::make(out, bytes, TOVK_Utils::LightBlock("utf-8", 5));
}

} // namespace

std::vector<String> mailboxFolders(const std::vector<String>& rows, bool emlFolders) {
    std::vector<String> folders(rows.size());
    if (!emlFolders) {
        for (size_t i = 0; i < rows.size(); ++i)
            cleanedName(folders[i], AttachmentList::utf8(rows[i]));
        return folders;
    }
    std::vector<std::vector<std::string>> paths;
    for (const String& row : rows)
        paths.push_back(components(row));
    size_t root = paths.empty() ? 0 : paths[0].size();
    for (const auto& path : paths) {
        size_t same = 0;
        while (same < root && same < path.size() && path[same] == paths[0][same])
            ++same;
        root = same;
    }
    for (const auto& path : paths)
        if (path.size() == root && root > 0)
            --root; // a row is the root itself: it keeps its own name below the destination
    for (size_t i = 0; i < paths.size(); ++i) {
        Path below;
        for (size_t c = root; c < paths[i].size(); ++c) {
            String name;
            cleanedName(name, paths[i][c]);
            if (below.length() == 0)
                below.assign(name);
            else
                below.append(name, TOVK_Utils::Path::Separator::Before);
        }
        folders[i].assign(below);
    }
    return folders;
}
