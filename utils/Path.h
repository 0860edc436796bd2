// Path: a file system path that knows its root and keeps its separators tidy. Every path
// the engine builds (mailboxes, backups, attachments, message files) goes through join
// and append, so runs of separators collapse to one and "\" and "/" both become the
// host's separator.
#pragma once

#include "String.h"

#include <cstdint>

namespace TOVK_Utils {

// How the host's file system writes paths; defined once by the backend.
struct PathRules {
    char separator;            // written between components ("\" on Windows, "/" on POSIX)
    bool driveAndNetworkRoots; // "C:" and "\\server" start a path (Windows only)
    // The longest name of one component, and the longest whole path the system opens, in
    // the characters of the system's path text (UTF-16 on Windows, UTF-8 bytes on POSIX).
    int32_t longestName;
    int32_t longestPath;
};
extern const PathRules hostPathRules;

class Path : public String {
public:
    enum RootKind : int32_t {
        RootUnknown = 0,   // empty path: the first append decides
        RootRelative = 1,  // never starts with a separator
        RootDrive = 2,     // a letter and a colon (Windows)
        RootNetwork = 3,   // two separators and a server name (Windows)
        RootSeparator = 4, // a single leading separator: "/x", or "\x" on the current drive
    };

    // Where append puts a separator around a component (never doubled).
    enum class Separator { None, Before, After, BeforeAndAfter };
    // What createDirectories makes of the last component.
    enum class LastComponent { Folder, File };

    // Empties the path, takes the text's character width, and appends the text with a
    // separator allowed before it. False (path left empty) when a drive letter is not
    // a letter.
    bool assign(const Block& text);
    // Adds a component. An empty component changes nothing. Separators inside the
    // component are written as one host separator per run; the separator option puts one
    // between the path and the component, at the end, or both (never doubled). A wide
    // component makes an 8-bit path wide, so that no character of a name is lost to the
    // 8-bit code page.
    bool append(const Block& component, Separator separator);
    // assign(folder), then append(component, Separator::Before).
    bool join(const Block& folder, const Block& component);

    // The text after the last "." of the last component; empty when that component has
    // no dot. The out text is always replaced, so a name without a dot never inherits
    // the extension of an earlier call.
    void extension(String& out) const;
    // Cuts the path at the last "." of its last component (the dot goes too); false,
    // and the path unchanged, when there is none.
    bool removeExtension();

    // Creates every missing directory along the path, shortest prefix first. A last
    // component that names a file is left alone; one that names a folder must end up a
    // directory.
    // Anything at a shorter prefix counts as there (a file then makes the next step fail).
    // On failure the prefix that could not be made goes to errorOut (when given);
    // directories made before stay.
    bool createDirectories(LastComponent last, String* errorOut = nullptr) const;

    RootKind rootKind() const { return rootKind_; }
    // Where the last component begins: just behind the last separator written.
    int32_t lastComponent() const { return lastComponent_; }
    bool endsWithSeparator() const { return endsWithSeparator_; }

private:
    // The raw Block forms would bypass the root and separator bookkeeping.
    using Block::assign;

    void reset(bool wide);
    void widen();
    void putChar(uint32_t c);
    void putSeparator();
    static bool isSeparator(uint32_t c) { return c == '\\' || c == '/'; }
    // The position of the last "." of the last component, or -1.
    int32_t extensionDot() const;
    // Where createDirectories starts looking for separators.
    int32_t walkStart() const;

    RootKind rootKind_ = RootUnknown;
    int32_t lastComponent_ = 0;
    bool endsWithSeparator_ = false;
};

} // namespace TOVK_Utils
