// The tests' helpers: temporary directories, whole files, and captured error messages.
#pragma once

#include "configfile.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/memory.h"
#include "util.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "ktlaunch-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }

    const fs::path &path() const { return path_; }
    fs::path operator/(const std::string &name) const { return path_ / name; }

  private:
    fs::path path_;
};

inline void write_file(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// What the error requester would have shown: a stand-in "requester.class", as if opened.
class MessageLog {
  public:
    MessageLog()
    {
        current = this;
        requester_.show = [](CONST_STRPTR title, CONST_STRPTR body, CONST_STRPTR) {
            EXPECT_STREQ(title, "Error");
            current->messages_.emplace_back(body);
            return current->shown;
        };
        display_.connected = [] { return true; };
        platform::register_library({"requester.class", 53, nullptr, nullptr, &requester_});
        IIntuition = &display_;
        IRequester = &requester_;
    }
    ~MessageLog()
    {
        IIntuition = nullptr;
        IRequester = nullptr;
        platform::unregister_library("requester.class");
        current = nullptr;
    }

    const std::vector<std::string> &messages() const { return messages_; }
    void clear() { messages_.clear(); }
    bool shown = true; // what the stand-in answers

  private:
    static inline MessageLog *current = nullptr;
    platform::IntuitionIFace display_;
    platform::RequesterIFace requester_;
    std::vector<std::string> messages_;
};

// A program directory of its own; the store is released at the end.
class PrefsDirTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::testing::set_program_dir(dir.path().string()); }
    void TearDown() override
    {
        config_shut();
        platform::testing::set_program_dir(std::nullopt);
        platform::testing::set_file_hook(nullptr);
        platform::testing::set_alloc_fault(nullptr);
    }

    fs::path prefs() const { return dir / "Karthos.prefs"; }
    long files() const { return std::distance(fs::directory_iterator(dir.path()), {}); }

    std::string read_back()
    {
        EXPECT_TRUE(config_save());
        return read_file(prefs());
    }

    TempDir dir;
    MessageLog log;
};
