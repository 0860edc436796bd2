#include "engine/StoreListing.h"

#include "utils/DirectorySearch.h"
#include "utils/FileSystem.h"
#include "utils/Path.h"
#include "utils/String.h"

#include <memory>
#include <vector>

using TOVK_Utils::Block;
using TOVK_Utils::DirectorySearch;
using TOVK_Utils::Path;
using TOVK_Utils::String;

namespace {

uint32_t foldAscii(uint32_t c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

enum class LetterCase { Exact, Folded }; // Folded: ASCII letters compare without case

// Character comparisons that work for 8-bit and wide names alike.
bool equalsText(const Block& name, const char* text, LetterCase letterCase) {
    int32_t n = name.length();
    int32_t i = 0;
    for (; i < n && text[i]; ++i) {
        uint32_t a = name.charAt(i);
        uint32_t b = static_cast<unsigned char>(text[i]);
        if (letterCase == LetterCase::Folded ? foldAscii(a) != foldAscii(b) : a != b)
            return false;
    }
    return i == n && text[i] == 0;
}

bool isClientFile(const Block& name) {
    for (const char* skipped : {"folders.dbx", "offline.dbx", "pop3uidl.dbx"}) {
        if (equalsText(name, skipped, LetterCase::Folded))
            return true;
    }
    return false;
}

// The name up to its last ".", or all of it when it has none.
void withoutExtension(const Block& name, Block& out) {
    int32_t end = name.length();
    for (int32_t i = end - 1; i >= 0; --i) {
        if (name.charAt(i) == '.') {
            end = i;
            break;
        }
    }
    name.substring(out, 0, end);
}

// One folder of the scan whose enumeration is under way.
struct OpenFolder {
    Path path;
    DirectorySearch search;
    bool listed = false; // the folder's row has been added
};

} // namespace

void listDbxMailboxes(const Block& folder, MailboxList& list) {
    list.removeAll();
    Path pattern;
    pattern.join(folder, Block("*.dbx"));
    DirectorySearch search;
    if (!search.first(pattern, TOVK_Utils::Width::Wide))
        return;
    do {
        const String& name = search.name();
        if (isClientFile(name))
            continue;
        String mailbox;
        withoutExtension(name, mailbox);
        int row = list.appendItem(mailbox, 0);
        String size;
        TOVK_Utils::format(size, "%d KB", search.size() / 1024);
        list.setItemText(size, row, 1);
    } while (search.next());
}

void listEmlFolders(const Block& folder, MailboxList& list) {
    list.removeAll();
    // The folders whose enumeration is open, innermost last: going down pushes, finishing
    // a folder pops back to its parent's next entry, which is the order a recursive scan
    // gives, without the thread's stack bounding the depth.
    std::vector<std::unique_ptr<OpenFolder>> open;
    auto enter = [&open](const Block& path) {
        auto next = std::make_unique<OpenFolder>();
        next->path.assign(path);
        Path pattern;
        pattern.join(path, Block("*"));
        // A folder that cannot be enumerated adds nothing; the scan goes on.
        if (next->search.first(pattern, TOVK_Utils::Width::Wide))
            open.push_back(std::move(next));
    };
    enter(folder);
    while (!open.empty()) {
        OpenFolder& current = *open.back();
        if (!current.search.valid()) {
            open.pop_back();
            continue;
        }
        Path entry;
        entry.join(current.path, current.search.name());
        uint32_t attributes = current.search.attributes();
        bool directory = (attributes & TOVK_Utils::AttributeDirectory) != 0;
        if (directory) {
            current.search.next();
            // A link or junction could lead back up the tree.
            if ((attributes & TOVK_Utils::AttributeReparsePoint) == 0)
                enter(entry);
            continue;
        }
        if (!current.listed) {
            String extension;
            entry.extension(extension);
            if (equalsText(extension, "eml", LetterCase::Exact)) {
                list.appendItem(current.path, 0);
                current.listed = true;
            }
        }
        current.search.next();
    }
}
