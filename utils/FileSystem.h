// Free helpers over the file system. Every text may be 8-bit or wide: 8-bit text goes to
// the system as it is (the ANSI code page on Windows, UTF-8 on POSIX); wide text takes
// the wide call on Windows systems that have one and is converted to UTF-8 on POSIX.
#pragma once

#include "Block.h"
#include "File.h"
#include "Path.h"
#include "String.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace TOVK_Utils {

// Attribute bits as Windows reports them; the POSIX backend maps its file types onto them.
constexpr uint32_t AttributeReadOnly = 0x01;
constexpr uint32_t AttributeDirectory = 0x10;
constexpr uint32_t AttributeNormal = 0x80;
constexpr uint32_t AttributeReparsePoint = 0x400;
constexpr uint32_t NoAttributes = 0xFFFFFFFF; // nothing there, or it cannot be queried

// Whether wide texts can reach the system without loss: Windows with the wide calls, and
// POSIX always (through UTF-8).
bool wideCallsAvailable();
// Whether paths are best kept wide: on Windows the wide form holds names outside the ANSI
// code page; on POSIX the 8-bit form is the file system's own bytes, which a round trip
// through UTF-16 would spoil when they are not valid UTF-8.
bool widePathsPreferred();

uint32_t getAttributes(const Block& path);
bool exists(const Block& path);      // files and directories alike
bool isDirectory(const Block& path); // follows a symbolic link to what it names

// One directory; false when it could not be made (also when something is already there).
bool makeDirectory(const Block& path);
// Every missing directory along the path; see Path::createDirectories.
bool createDirectories(const Path& path, Path::LastComponent last, String* errorOut = nullptr);

// The whole file into the block (8-bit, replacing its content). True only when every
// byte of the file came; a file a Block cannot hold (2 GiB and more) fails. On failure
// the block is left empty.
bool readAll(const Block& path, Block& block);
// Creates the file (never replacing an existing one) and writes the block's bytes. True
// only when every byte was written; a file this call created but could not fill is
// removed again, so no half-written file is left behind.
bool writeAll(const Block& path, const Block& block);

bool removeFile(const Block& path);

// A file's modification time as seconds since 1970-01-01 UTC; false when it cannot be
// queried.
bool modificationTime(const Block& path, int64_t& secondsSince1970);
// Sets a file's modification time (its access time too on POSIX, where the call sets
// both); false when the system refused it.
bool setModificationTime(const Block& path, int64_t secondsSince1970);

// Pushes a closed file's bytes to the disk (open, flush, close), so that what depends on
// the file (a cut that relies on the saved attachment) never outlives it on a crash.
bool flushFile(const Block& path);
// Makes the given closed files, all inside folder, and the folder's names reach the disk.
// On Linux one flush of the folder's whole file system does it: a flush per file would
// cost the disk a cache flush each, many times the time of writing the files. Elsewhere
// each file is flushed, then the folder.
bool flushFilesIn(const Block& folder, const std::vector<String>& files);
// Closed files that must reach the disk together, all inside folder.
struct FilesInFolder {
    String folder;
    std::vector<String> files;
};
// Makes the files of every group, and each group's folder's names (also of a group without
// files), reach the disk. On Linux one flush of each file system involved does it.
bool flushFilesIn(const std::vector<FilesInFolder>& groups);
// Asks the system to start writing a closed file's bytes to the disk and returns without
// waiting, so that the disk works while the next message is read and the flushFile that
// must come before a cut finds little left to do. Only a hint: nothing is promised until
// flushFile. Where the system has no such call it does nothing.
void startFlushingFile(const Block& path);
// Makes a folder's list of names reach the disk, so that a file just created or removed
// in it is still there, or still gone, after a crash. On Windows this is true at once:
// NTFS journals its names itself.
bool flushDirectory(const Block& path);
// Renames a file, replacing whatever file is at the new name.
bool renameFile(const Block& from, const Block& to);
// Copies a file's bytes. An existing target makes the call fail and stays untouched
// (IfExists::Fail), or is replaced (IfExists::Replace). A target that a failed copy
// created is removed again.
bool copyFile(const Block& from, const Block& to, IfExists ifExists);

// Which file or folder a path names, after following symbolic links: two paths that
// reach the same one (a link and its target, two hard links, two spellings of one name)
// get equal identities. Invalid when nothing is there or it cannot be queried; an
// invalid identity equals nothing, not even itself, so "same file?" is never answered
// yes for two paths that could not be looked at.
struct FileIdentity {
    uint64_t device = 0; // the volume (st_dev; the volume serial number on Windows)
    uint64_t index = 0;  // the file on that volume (st_ino; the file index on Windows)
    bool valid = false;

    bool operator==(const FileIdentity& other) const {
        return valid && other.valid && device == other.device && index == other.index;
    }
};
FileIdentity fileIdentity(const Block& path);
// A file as it is now: which one, how long, and when it was last written. Two states of one
// name that differ mean that another file took the name or that it was written meanwhile;
// an invalid state (nothing there) equals nothing.
struct FileState {
    FileIdentity identity;
    uint64_t size = 0;
    int64_t modified = 0; // in the system's own units

    bool operator==(const FileState& other) const {
        return identity == other.identity && size == other.size && modified == other.modified;
    }
};
FileState fileState(const Block& path);
// How many names a regular file has (symbolic links followed); 0 for a folder and when it
// cannot be queried.
uint32_t hardLinkCount(const Block& path);
// Replaces the path by the one of the file it names once every symbolic link on the way is
// followed, so that what is kept beside a file (a journal) is found whichever name was used
// to reach it. False, with the path as it was, when it cannot be followed (nothing there).
// On Windows the path stays as it is.
bool followLinks(Path& path);
// Whether the user has marked the file read-only: on POSIX no write permission in its mode
// (also for the super-user, who could write it all the same) or none for this process; on
// Windows its read-only attribute. False when nothing is there.
bool isReadOnly(const Block& path);

// Replaces a file without ever leaving it half-written: writeNew makes the new version
// under a free name beside it (".klovin-new0", "1", ...), never replacing a file there and
// removing what it made when it fails; the new version then takes the file's place. When
// a file was there, the new version keeps what the system keeps for a file apart from its
// bytes: on POSIX the permission bits, the owner and group where the process may set
// them, and the access and modification times; on Windows the attributes, the security
// descriptor, the alternate streams and the creation time, and a read-only file is not
// replaced at all (Windows refuses it). A symbolic link at the path is replaced by the new
// file, as a rename would.
// On any failure the file stays as it was and nothing is left beside it.
// With Replaced::WholeFile the new version takes the old one's place as a new file and
// keeps nothing of it but the name (a backup is a copy of another file, with that file's
// times, not an update of the old backup).
enum class Replaced { ContentOnly, WholeFile };
bool replaceBeside(const Path& path, const std::function<bool(const Path& temporary)>& writeNew,
                   Replaced replaced = Replaced::ContentOnly);

// Whether the path names the folder, or something inside it, judged by the identity of the
// path and of each folder above it, since names cannot tell (links, case, a second
// spelling of the same place). Missing components are passed over, so a folder that is
// still to be made is judged by where it will be.
bool isSameOrInside(const Block& path, const FileIdentity& folder);

} // namespace TOVK_Utils
