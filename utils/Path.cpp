#include "Path.h"

#include "FileSystem.h"

namespace TOVK_Utils {

namespace {

// Room for a typical full path, so that building one rarely reallocates.
constexpr int32_t typicalPathLength = 260;

bool isAsciiLetter(uint32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A folder that exists, or that this call (or a racing one) has just made.
bool ensureDirectory(const Block& path) {
    if (exists(path))
        return true;
    return makeDirectory(path) || isDirectory(path);
}

} // namespace

void Path::reset(bool wide) {
    rootKind_ = RootUnknown;
    lastComponent_ = 0;
    endsWithSeparator_ = false;
    setWide(wide);
    setPolicy(Growth::Doubling, Shrink::Never);
    allocate(typicalPathLength);
    clear();
}

void Path::putChar(uint32_t c) {
    int32_t n = length();
    resize(n + 1);
    setCharAt(n, c);
}

void Path::putSeparator() {
    putChar(static_cast<unsigned char>(hostPathRules.separator));
    endsWithSeparator_ = true;
    lastComponent_ = length();
}

void Path::widen() {
    String wide;
    wide.toWide(*this);
    static_cast<String&>(*this) = wide;
    // A multi-byte 8-bit text has fewer wide characters, so positions are found again.
    lastComponent_ = rootKind_ == RootDrive ? 2 : 0;
    for (int32_t i = length() - 1; i >= 0; --i) {
        if (isSeparator(charAt(i))) {
            lastComponent_ = i + 1;
            break;
        }
    }
}

bool Path::assign(const Block& text) {
    if (&text == this)
        return true;
    reset(text.isWide());
    return append(text, Separator::Before);
}

bool Path::join(const Block& folder, const Block& component) {
    if (&component == this) {
        String copy(component);
        return join(folder, copy);
    }
    return assign(folder) && append(component, Separator::Before);
}

bool Path::append(const Block& component, Separator separator) {
    if (&component == this) {
        String copy(component);
        return append(copy, separator);
    }
    if (component.length() == 0)
        return true;
    if (rootKind_ == RootUnknown && length() == 0 && isWide() != component.isWide())
        reset(component.isWide());
    else if (component.isWide() && !isWide())
        widen();

    // An 8-bit component of a wide path is converted once, then copied character by
    // character.
    String converted;
    const Block* source = &component;
    if (component.isWide() != isWide()) {
        converted.toWide(component);
        source = &converted;
    }
    int32_t n = source->length();
    int32_t i = 0;

    if (rootKind_ == RootUnknown) {
        uint32_t c0 = source->charAt(0);
        uint32_t c1 = n > 1 ? source->charAt(1) : 0;
        uint32_t c2 = n > 2 ? source->charAt(2) : 0;
        if (hostPathRules.driveAndNetworkRoots && n >= 3 && isSeparator(c0) && isSeparator(c1) &&
            !isSeparator(c2)) {
            // "\\server": the pair is kept as it is; the loop below copies the server name.
            putSeparator();
            putSeparator();
            rootKind_ = RootNetwork;
            i = 2;
        } else if (hostPathRules.driveAndNetworkRoots && n >= 2 && c1 == ':') {
            if (!isAsciiLetter(c0))
                return false;
            putChar(c0);
            putChar(':');
            rootKind_ = RootDrive;
            endsWithSeparator_ = false;
            lastComponent_ = 2;
            i = 2;
        } else if (isSeparator(c0)) {
            // A leading separator keeps the path rooted; dropping it would silently name a
            // different file relative to the current folder.
            putSeparator();
            rootKind_ = RootSeparator;
            i = 1;
        } else {
            // Pretend a separator was just written, so a relative path never starts with one.
            rootKind_ = RootRelative;
            endsWithSeparator_ = true;
        }
    }

    const bool before = separator == Separator::Before || separator == Separator::BeforeAndAfter;
    const bool after = separator == Separator::After || separator == Separator::BeforeAndAfter;
    if (before && !endsWithSeparator_)
        putSeparator();
    for (; i < n; ++i) {
        uint32_t c = source->charAt(i);
        if (isSeparator(c)) {
            if (!endsWithSeparator_)
                putSeparator();
        } else {
            putChar(c);
            endsWithSeparator_ = false;
        }
    }
    if (after && !endsWithSeparator_)
        putSeparator();
    return true;
}

int32_t Path::extensionDot() const {
    for (int32_t i = length() - 1; i >= 0; --i) {
        uint32_t c = charAt(i);
        if (c == '.')
            return i;
        if (isSeparator(c))
            return -1;
    }
    return -1;
}

void Path::extension(String& out) const {
    int32_t dot = extensionDot();
    substring(out, dot < 0 ? length() : dot + 1, length());
}

bool Path::removeExtension() {
    int32_t dot = extensionDot();
    if (dot < 0)
        return false;
    resize(dot);
    if (dot == 0)
        endsWithSeparator_ = rootKind_ == RootRelative;
    else
        endsWithSeparator_ = isSeparator(charAt(dot - 1));
    if (lastComponent_ > dot)
        lastComponent_ = dot;
    return true;
}

int32_t Path::walkStart() const {
    int32_t n = length();
    switch (rootKind_) {
    case RootDrive:
        return 3;
    case RootNetwork:
        // Behind the server name: a server cannot be created, its share is the first try.
        for (int32_t i = 2; i < n; ++i) {
            if (isSeparator(charAt(i)))
                return i + 1;
        }
        return n;
    case RootSeparator:
        return 1;
    default:
        return 0;
    }
}

bool Path::createDirectories(LastComponent last, String* errorOut) const {
    int32_t n = length();
    String prefix;
    for (int32_t i = walkStart(); i < n; ++i) {
        if (i == 0 || !isSeparator(charAt(i)))
            continue;
        substring(prefix, 0, i);
        if (!ensureDirectory(prefix)) {
            if (errorOut)
                errorOut->assign(prefix);
            return false;
        }
    }
    // A file where the last folder should be is no folder: callers go on to write into it.
    if (last == LastComponent::Folder && n > 0 && !(ensureDirectory(*this) && isDirectory(*this))) {
        if (errorOut)
            errorOut->assign(*this);
        return false;
    }
    return true;
}

} // namespace TOVK_Utils
