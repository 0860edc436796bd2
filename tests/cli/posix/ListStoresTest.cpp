// --list without a folder on Linux: no registry names a store, and the program says so.
#include "../RunProgram.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(ListStores, LinuxHasNothingToFind) {
    const fs::path logs = TOVK_Tests::testFolder("klovin-cli-list-stores-");
    fs::create_directories(logs);
    const ProgramRun r = runProgram({"--list"}, logs);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("no mail store to find on Linux"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--list [--eml] FOLDER"), std::string::npos) << r.out;
    const ProgramRun eml = runProgram({"--list", "--eml"}, logs);
    EXPECT_EQ(eml.status, 2);
    EXPECT_NE(eml.err.find("--list without a folder takes no --eml"), std::string::npos) << eml.err;
    fs::remove_all(logs);
}
