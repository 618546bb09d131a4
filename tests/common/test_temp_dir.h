// A temporary folder for the running test: made on first use, removed with
// everything in it when the test ends. Asked for outside a test (a suite's
// set-up), the folder lives until the test program ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace test_temp {

struct Folders {
    std::filesystem::path test;    // the running test's folder
    std::filesystem::path program; // the folder of everything made outside a test
};

inline Folders& folders()
{
    static Folders all;
    return all;
}

inline void remove_folder(std::filesystem::path& folder)
{
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        folder.clear();
    }
}

class Cleaner : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override { remove_folder(folders().test); }
    void OnTestProgramEnd(const testing::UnitTest&) override
    {
        remove_folder(folders().test);
        remove_folder(folders().program);
    }
};

inline const bool cleaner_registered = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new Cleaner);
    return true;
}();

inline std::filesystem::path make_folder()
{
    std::string pattern = testing::TempDir() + "velmor_test_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary folder from " << pattern;
        return {};
    }
    return std::filesystem::path(name.data());
}

} // namespace test_temp

// The folder for the files the running test makes.
inline std::filesystem::path test_temp_dir()
{
    const bool in_test = testing::UnitTest::GetInstance()->current_test_info() != nullptr;
    std::filesystem::path& folder = in_test ? test_temp::folders().test : test_temp::folders().program;
    if (folder.empty()) {
        folder = test_temp::make_folder();
    }
    // Without a folder the test's files cannot be made: its writes fail.
    return folder.empty() ? std::filesystem::path("/nonexistent/velmor_test") : folder;
}

// A path named name in the running test's folder.
inline std::string test_temp_path(const std::string& name) { return (test_temp_dir() / name).string(); }

// Writes bytes to a file named name in the running test's folder and returns
// its path.
inline std::string write_temp(const std::string& name, std::string_view bytes)
{
    const std::string path = test_temp_path(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
    return path;
}
