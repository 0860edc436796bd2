// AttachmentName: the file name an attachment is saved under, made from the name its
// message gives. The name is converted to Unicode first (in Shift_JIS the second byte of
// a character may be a backslash), then loses any folders in front of it, then is
// cleaned of what Windows refuses in a file name, on every system: the files are often
// copied to Windows later.
#pragma once

#include "utils/Block.h"
#include "utils/String.h"

#include <cstdint>

class AttachmentName {
public:
    // Characters replaced by "_": those Windows forbids in a name, besides the control
    // characters (below 0x20), which are replaced as well.
    static constexpr const char* forbiddenCharacters = "<>:\"/\\|?*";
    // Room a shortened name leaves for the "_%d." of a numbered variant.
    static constexpr int32_t numberingRoom = 8;
    // A shortened name keeps at least this many characters before its extension (or in
    // all, without one); a folder that leaves less room gets no file.
    static constexpr int32_t shortestStem = 8;

    // The cleaned name, in the form of the system's file names (wide on Windows). Never
    // empty; a name of dots only, or a device name (CON, NUL, COM1, ...), gets a "_" in
    // front.
    static void make(TOVK_Utils::String& out, const TOVK_Utils::Block& bytes,
                     const TOVK_Utils::Block& charset);
    // The cleaning alone, on a converted name.
    static void clean(TOVK_Utils::String& name);
    // A name longer than room characters is cut before its extension (or at the end when
    // the extension would take more than half the room) to room less numberingRoom,
    // never inside a character. False, the name unchanged, when the room is too small.
    static bool shorten(TOVK_Utils::String& name, int32_t room);
};
