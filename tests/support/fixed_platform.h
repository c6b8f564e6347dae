// Test doubles: a platform with a fixed clock and captured console, and a
// fixture that runs each test in a fresh temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "util/file_io.h"
#include "util/platform.h"

namespace brolvin::test {

class FixedPlatform : public Platform {
public:
    DateTime fixedNow{2026, 12, 8, 9, 5, 7};
    std::string folder = "tmp/work";
    std::vector<std::string> console;
    std::vector<std::string> warnings;  // standard error
    int keyWaits = 0;
    bool terminal = true;  // standard input is a terminal

    DateTime now() override { return fixedNow; }
    std::string currentFolder() override { return folder; }
    std::string currentDrive() override { return ""; }
    std::string operatingSystem() override { return "TestOS 1.0"; }
    std::string compilerVersion() override { return "TestCompiler 1.0"; }
    void consoleLine(const std::string& text) override { console.push_back(text); }
    void warningLine(const std::string& text) override { warnings.push_back(text); }
    bool inputIsTerminal() override { return terminal; }
    void waitForKey() override { ++keyWaits; }
};

// Runs the test body with the current folder set to a new empty temporary
// folder, removed afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = std::filesystem::current_path();
        // A new folder of a random name; an existing one is never reused.
        std::random_device random;
        std::error_code ec;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            std::filesystem::path candidate =
                std::filesystem::temp_directory_path() / ("brolvin-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, ec)) dir_ = candidate;
        }
        ASSERT_FALSE(dir_.empty());
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(saved_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    void write(const std::string& name, const std::string& content) {
        ASSERT_TRUE(writeWholeFile(name, content));
    }
    std::string read(const std::string& name) {
        std::string s;
        readWholeFile(name, s);
        return s;
    }
    std::filesystem::path dir_;
    std::filesystem::path saved_;
};

}  // namespace brolvin::test
