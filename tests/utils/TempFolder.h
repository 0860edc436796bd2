// A fresh folder under the system's temporary folder for one test, removed afterwards,
// with plain standard-library helpers to prepare and inspect files independently of the
// code under test.
#pragma once

#include "utils/FileSystem.h"
#include "utils/String.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace TOVK_Tests {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        static std::mt19937_64 random{std::random_device{}()};
        fs::path base = fs::temp_directory_path();
        do
            root_ = base / ("tovk-test-" + std::to_string(random()));
        while (!fs::create_directory(root_));
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& root() const { return root_; }
    // The folder, or a name inside it ("a/b" style), as the 8-bit text the code takes.
    std::string text(const std::string& relative = "") const {
        return native(relative.empty() ? root_ : root_ / fs::path(relative));
    }
    fs::path operator/(const std::string& relative) const { return root_ / fs::path(relative); }

    static std::string native(const fs::path& path) {
        fs::path tidy = path;
        return tidy.make_preferred().string();
    }

private:
    fs::path root_;
};

inline void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string bytesOf(const TOVK_Utils::Block& block) {
    if (block.byteSize() == 0)
        return {};
    return std::string(reinterpret_cast<const char*>(block.data()), block.byteSize());
}

// An 8-bit String holding a copy of the text.
inline TOVK_Utils::String textOf(const std::string& text) {
    TOVK_Utils::String s;
    s.assign(text.data(), static_cast<int32_t>(text.size()));
    return s;
}

// A wide String from UTF-16 text.
inline TOVK_Utils::String wideText(const std::u16string& text) {
    TOVK_Utils::String w;
    w.setWide(true);
    w.assign(text.data(), static_cast<int32_t>(text.size()));
    return w;
}

inline std::u16string charsOf(const TOVK_Utils::String& wide) {
    return std::u16string(wide.w_str(), wide.length());
}

} // namespace TOVK_Tests
