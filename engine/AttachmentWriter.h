// AttachmentWriter: one decoded attachment becomes one file inside the job's destination
// folder (directly, or in the folder of its mailbox), never overwriting anything. The
// name is made by AttachmentName (converted, cleaned, shortened to fit the folder); an
// existing file with the same bytes counts as saved; otherwise the first free name with
// "_%d" before the extension is taken. A file that fails is reported in the "Error saving file" box until the user
// ticks "Don't show me again until next extraction" (a writer serves one job).
#pragma once

#include "engine/EngineView.h"
#include "utils/Block.h"
#include "utils/Path.h"
#include "utils/String.h"

#include <memory>
#include <vector>

class AttachmentWriter {
public:
    // What an existing file with exactly the content's bytes is taken for.
    enum class Identical {
        AlreadySaved, // the content is saved there; nothing is written
        OtherFile,    // a file like any other: the next free name is taken
    };

    explicit AttachmentWriter(EngineView& view);

    // Saves the content under the name its message gives (bytes in the named charset).
    // saved receives the file that holds it, or the one tried last.
    bool save(const TOVK_Utils::Block& fileName, const TOVK_Utils::Block& charset,
              const TOVK_Utils::Block& content, TOVK_Utils::Path& saved);
    // Writes the content under the path's name or the first free numbered name beside
    // it; the path is changed to the name that holds the content.
    bool writeUniqueFile(TOVK_Utils::Path& path, const TOVK_Utils::Block& content,
                         Identical identical);
    // Where the next saves go: the destination folder itself (relative empty), or the
    // folder at that path below it, made when the first file goes there. The unique-name
    // rule holds within each folder.
    void enterFolder(const TOVK_Utils::String& relative);
    // Whether the last save wrote a new file (and did not find its content saved already).
    bool wroteNewFile() const { return wroteNew_; }
    // Gives a newly saved file its message's date; an existing file is never touched.
    static void dateFile(const TOVK_Utils::Path& saved, int64_t secondsSince1970);
    // The saved file's path below the destination folder.
    void relativeName(const TOVK_Utils::Path& saved, TOVK_Utils::String& relative) const;

    // Whether the path is a plain file holding exactly these bytes: the check that a
    // saved file really holds what is cut from its message.
    bool sameContent(const TOVK_Utils::Path& path, const TOVK_Utils::Block& content);

    // An attachment that lives only in the page cache could vanish with a power loss
    // after the message that held it was cut for good: every file a cut depends on
    // reaches the disk first, its name in the folder too. Started on its way at once, the
    // file is mostly there when the cut that depends on it is made.
    static void startFlushing(const TOVK_Utils::Path& saved);
    // Flushes the named files of the destination folder, and the folder; false when any
    // could not be flushed.
    bool flushToDisk(const std::vector<TOVK_Utils::String>& files);
    // The destination folder, in the system's form of paths.
    const TOVK_Utils::String& folder() const { return folder_; }

private:
    void reportFailure(const TOVK_Utils::Path& target);
    bool makeTarget();

    TOVK_Utils::String folder_;
    TOVK_Utils::String target_; // where the next saves go: folder_ or a folder below it
    bool targetMade_ = true;
    bool wroteNew_ = false;
    std::unique_ptr<ViewQuestion> question_;
    bool showSaveErrors_ = true;
    TOVK_Utils::Block existing_; // a file read back for comparison
};
