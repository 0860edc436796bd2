// klovin-extract carries one manifest that runs it as the user, without the file and
// registry virtualisation that would move a 32-bit program's writes elsewhere.
#include "../RunProgram.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

TEST(ConsoleManifest, RunsAsTheUserWithoutVirtualisation) {
    HMODULE program = LoadLibraryExA(programPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr) << programPath();
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), RT_MANIFEST);
    ASSERT_NE(found, nullptr);
    HGLOBAL loaded = LoadResource(program, found);
    const std::string xml(static_cast<const char*>(LockResource(loaded)),
                          SizeofResource(program, found));
    EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"), std::string::npos) << xml;
    // A second one (another id or language) would leave the choice to the loader.
    EXPECT_EQ(FindResourceA(program, MAKEINTRESOURCEA(2), RT_MANIFEST), nullptr);
    FreeLibrary(program);
}
