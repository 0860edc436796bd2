// The program's resources are compiled into this test executable as well, so every check
// reads them from its own module, through the same calls Windows and Explorer use.
#include <windows.h>

#include <winver.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

struct Bytes {
    const unsigned char* data = nullptr;
    size_t size = 0;
};

Bytes resource(LPCSTR type, int id) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
    if (found == nullptr)
        return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (loaded == nullptr)
        return {};
    return {static_cast<const unsigned char*>(LockResource(loaded)),
            SizeofResource(nullptr, found)};
}

// Resource data is only byte-aligned as far as these formats go; read it field by field.
unsigned u16(const unsigned char* p) {
    return p[0] | p[1] << 8;
}
unsigned long u32(const unsigned char* p) {
    return u16(p) | static_cast<unsigned long>(u16(p + 2)) << 16;
}

BOOL CALLBACK collectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR ids) {
    // A resource named by a string would be a mistake too: keep it as an impossible id.
    reinterpret_cast<std::set<int>*>(ids)->insert(IS_INTRESOURCE(name) ? LOWORD(name) : -1);
    return TRUE;
}

std::set<int> idsOf(LPCSTR type) {
    std::set<int> ids;
    EnumResourceNamesA(nullptr, type, collectName, reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

BOOL CALLBACK countLanguage(HMODULE, LPCSTR, LPCSTR, WORD, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

struct IconCase {
    int group;
    int size;
};
const IconCase iconCases[] = {{131, 32}, {138, 16}};

TEST(ResourcesTest, IconGroupsAreExactly131And138) {
    EXPECT_EQ(idsOf(RT_GROUP_ICON), (std::set<int>{131, 138}));
}

TEST(ResourcesTest, EachIconGroupHoldsOneDrawnEightBitImageOfItsSize) {
    for (const IconCase& c : iconCases) {
        SCOPED_TRACE("group " + std::to_string(c.group));
        Bytes group = resource(RT_GROUP_ICON, c.group);
        ASSERT_GE(group.size, 6u + 14u);
        EXPECT_EQ(u16(group.data + 2), 1u); // icons, not cursors
        ASSERT_EQ(u16(group.data + 4), 1u);
        ASSERT_EQ(group.size, 6u + 14u);
        const unsigned char* entry = group.data + 6;
        EXPECT_EQ(entry[0], c.size);
        EXPECT_EQ(entry[1], c.size);
        EXPECT_EQ(entry[2], 0); // 0 stands for 256 colours
        EXPECT_EQ(u16(entry + 4), 1u);
        EXPECT_EQ(u16(entry + 6), 8u);

        Bytes image = resource(RT_ICON, u16(entry + 12));
        ASSERT_NE(image.data, nullptr);
        EXPECT_EQ(image.size, u32(entry + 8));
        ASSERT_GE(image.size, 40u);
        const unsigned char* dib = image.data;
        ASSERT_EQ(u32(dib), 40u); // a BITMAPINFOHEADER, not a PNG or an older header
        EXPECT_EQ(static_cast<long>(u32(dib + 4)), c.size);
        EXPECT_EQ(static_cast<long>(u32(dib + 8)), 2 * c.size); // colour rows and mask rows
        EXPECT_EQ(u16(dib + 12), 1u);
        ASSERT_EQ(u16(dib + 14), 8u);
        ASSERT_EQ(u32(dib + 16), static_cast<unsigned long>(BI_RGB));
        const size_t colours = u32(dib + 32) ? u32(dib + 32) : 256;
        const size_t stride = (c.size + 3) / 4 * 4;
        const size_t maskStride = (c.size + 31) / 32 * 4;
        const size_t pixelsAt = 40 + 4 * colours;
        const size_t maskAt = pixelsAt + stride * c.size;
        ASSERT_EQ(image.size, maskAt + maskStride * c.size);

        // A blank or fully transparent image would pass every header check above.
        int transparent = 0;
        std::set<int> opaqueColours;
        for (int y = 0; y < c.size; ++y) {
            for (int x = 0; x < c.size; ++x) {
                if (dib[maskAt + y * maskStride + x / 8] & (0x80 >> x % 8))
                    ++transparent;
                else
                    opaqueColours.insert(dib[pixelsAt + y * stride + x]);
            }
        }
        EXPECT_GT(transparent, 0);
        EXPECT_LT(transparent, c.size * c.size / 2);
        EXPECT_GE(opaqueColours.size(), 3u);
    }
}

TEST(ResourcesTest, IconsLoadAtTheirOwnSizes) {
    for (const IconCase& c : iconCases) {
        SCOPED_TRACE("group " + std::to_string(c.group));
        HICON icon =
            static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(c.group),
                                          IMAGE_ICON, c.size, c.size, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour{};
        EXPECT_TRUE(GetObjectW(info.hbmColor, sizeof colour, &colour));
        EXPECT_EQ(colour.bmWidth, c.size);
        EXPECT_EQ(colour.bmHeight, c.size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

TEST(ResourcesTest, VersionInformationNamesTheProductAndTheProjectVersion) {
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));

    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(TOVK_PROJECT_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, major << 16 | minor);
    EXPECT_EQ(fixed->dwFileVersionLS, patch << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, major << 16 | minor);
    EXPECT_EQ(fixed->dwProductVersionLS, patch << 16);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    // The strings are found through the translation table, as Explorer finds them.
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    wchar_t prefix[64];
    swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    auto text = [&](const wchar_t* name) -> std::wstring {
        wchar_t* value = nullptr;
        UINT chars = 0;
        if (!VerQueryValueW(block.data(), (std::wstring(prefix) + name).c_str(),
                            reinterpret_cast<void**>(&value), &chars) ||
            value == nullptr)
            return L"(missing)";
        return value;
    };
    const std::string v = TOVK_PROJECT_VERSION;
    const std::wstring version(v.begin(), v.end());
    EXPECT_EQ(text(L"ProductName"), L"Klovin Attachment Extractor");
    EXPECT_EQ(text(L"FileDescription"), L"Klovin Attachment Extractor");
    EXPECT_EQ(text(L"CompanyName"), L"Klovinware");
    EXPECT_EQ(text(L"OriginalFilename"), L"KlovinAttachmentExtractor.exe");
    EXPECT_NE(text(L"InternalName"), L"(missing)");
    EXPECT_EQ(text(L"FileVersion"), version);
    EXPECT_EQ(text(L"ProductVersion"), version);
}

TEST(ResourcesTest, ManifestAsksForCommonControls6AndTakesEffect) {
    // Two manifests (say one under another language) would leave the choice to the loader.
    EXPECT_EQ(idsOf(RT_MANIFEST), std::set<int>{1});
    int languages = 0;
    EnumResourceLanguagesA(nullptr, RT_MANIFEST, MAKEINTRESOURCEA(1), countLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, 1);

    Bytes manifest = resource(RT_MANIFEST, 1);
    ASSERT_NE(manifest.data, nullptr);
    const std::string xml(reinterpret_cast<const char*>(manifest.data), manifest.size);
    EXPECT_NE(xml.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos);
    EXPECT_NE(xml.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(xml.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
    EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);

    // Only a manifest the loader accepted redirects comctl32 to the side-by-side version 6
    // (Wine's copy answers DllGetVersion with 5 either way, so the path is what tells).
    ACTCTX_SECTION_KEYED_DATA redirect{};
    redirect.cbSize = sizeof redirect;
    EXPECT_TRUE(FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                         L"comctl32.dll", &redirect));
    HMODULE comctl = LoadLibraryW(L"comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(comctl, path, MAX_PATH), 0u);
    EXPECT_NE(std::wstring(path).find(L"common-controls_6595b64144ccf1df_6."), std::wstring::npos)
        << "comctl32 loaded from " << path;
    FreeLibrary(comctl);
}

} // namespace
