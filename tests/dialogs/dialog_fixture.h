// Settings dialog tests: a program with a record, a headless host and its own
// working directory, so that every test sees whether the settings file was written.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "state/state.h"
#include "hosts/headless/headless_host.h"
#include "storage/settings_file.h"
#include "text/cp1250.h"

namespace kc {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A fresh folder of its own (mkdtemp is not on Windows).
        std::random_device random;
        do {
            dir_ = (std::filesystem::temp_directory_path() / ("kc_dialogs_" + std::to_string(random()))).string();
        } while (!std::filesystem::create_directory(dir_));
        copy_text(p.state.work_directory, sizeof p.state.work_directory, dir_.c_str());
        p.ui = &host;
        p.record = std::make_unique<MainRecord>();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    MainRecord& record() { return *p.record; }

    bool settings_written() const { return std::filesystem::exists(settings_path(p)); }
    // The settings file's lines, 1-based: line(1) is the port number.
    std::vector<std::string> settings_lines() const {
        std::vector<std::string> lines{""};
        std::ifstream in(settings_path(p));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // Slots the light and scroll speed dialogs may fill.
    int pending_count(int first, int last) {
        int n = 0;
        for (int s = first; s <= last; ++s) n += slot_pending(p.state, s) ? 1 : 0;
        return n;
    }

    static std::string cp(const char* utf8) { return utf8_to_cp1250(utf8); }

    HeadlessHost host;
    Program p;

private:
    std::string dir_;
};

}  // namespace kc
