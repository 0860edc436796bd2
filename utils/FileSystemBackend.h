// What the portable file system helpers ask of a backend beyond the public calls. Not for
// callers outside utils/.
#pragma once

namespace TOVK_Utils {

class Path;

// Puts the finished temporary file in the target's place. When a regular file is at the
// target, the temporary takes over what the system keeps for that file apart from its
// bytes (see replaceBeside); otherwise this is a plain rename. False when the target
// could not be replaced: the target is then as it was and nothing new is left beside it
// except the temporary, which the caller removes.
bool replaceKeepingAttributes(const Path& temporary, const Path& target);

} // namespace TOVK_Utils
