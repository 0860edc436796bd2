// MessageFolderPass: one folder of Windows Mail message files (.eml), each read whole,
// its attachments saved and, when cutting, the file replaced by its cut text: written
// beside it, flushed, and renamed over it, once the attachments it loses are on the disk.
// A file that has several hard links, that is read-only, or that cannot be read, keeps its
// attachments. What an earlier run left beside a message it was replacing goes when the
// message is next cut.
#pragma once

#include "engine/PassContext.h"
#include "formats/CutPlan.h"
#include "formats/MimePart.h"
#include "utils/Block.h"
#include "utils/FileSystem.h"
#include "utils/Path.h"
#include "utils/String.h"

#include <cstdint>
#include <vector>

class MessageFolderPass {
public:
    enum class Fate {
        Read,    // every message file was taken
        Stopped, // the user stopped the job: the pass left before the next file
    };

    MessageFolderPass(PassContext& context, const TOVK_Utils::Block& folder)
        : context_(context), folder_(folder) {}

    // The folder's message files: what the counting pass counts.
    static int32_t countFiles(const TOVK_Utils::Block& folder);
    Fate run();

private:
    void take(const TOVK_Utils::String& name, int32_t number, int32_t count);
    void cut(const TOVK_Internet::MimePart& root, const TOVK_Internet::CutPlan& plan);

    PassContext& context_;
    const TOVK_Utils::Block& folder_;
    TOVK_Utils::Path path_;      // the message file being read
    TOVK_Utils::FileState read_; // what it was when it was read
};
