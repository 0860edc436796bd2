// The folder of the running test below the system's temporary folder, under a name that
// no other test process shares: several checkouts and builds run their suites side by
// side on one machine, and a name made of the test's name alone let them remove each
// other's files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace TOVK_Tests {

inline std::filesystem::path testFolder(const std::string& prefix) {
    static const std::string run = std::to_string(std::random_device{}());
    return std::filesystem::temp_directory_path() /
           (prefix + run + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
}

} // namespace TOVK_Tests
