// Shared helpers for the unit tests: temporary program directories, whole-file
// reads and writes, captured error messages and injected allocation failures.
#pragma once

#include "configfile.h"
#include "platform/exec.h"
#include "platform/files.h"
#include "platform/requester.h"
#include "util.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// A fresh directory, removed with everything in it at the end of the test.
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
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const fs::path &path() const { return path_; }
    fs::path operator/(const std::string &name) const { return path_ / name; }

  private:
    fs::path path_;
};

inline void write_file(const fs::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Collects what the error requester would have shown, with stand-ins for the open
// display and requester class.
class MessageLog {
  public:
    MessageLog()
    {
        IIntuition = IRequester = &stand_in_;
        platform::testing::set_requester_hook(
            [this](std::string_view title, std::string_view body) {
                EXPECT_EQ(title, "Error");
                messages_.emplace_back(body);
                return true;
            });
    }
    ~MessageLog()
    {
        IIntuition = IRequester = nullptr;
        platform::testing::set_requester_hook(nullptr);
    }
    MessageLog(const MessageLog &) = delete;
    MessageLog &operator=(const MessageLog &) = delete;

    const std::vector<std::string> &messages() const { return messages_; }
    void clear() { messages_.clear(); }

  private:
    platform::Interface stand_in_{nullptr};
    std::vector<std::string> messages_;
};

// Fails the `nth` allocation (counted from 1) of `kind` from now on, or every one
// of that kind when `nth` is 0. Ends with the object.
class AllocFailure {
  public:
    AllocFailure(platform::MemKind kind, int nth)
    {
        platform::testing::set_alloc_fault(
            [this, kind, nth](platform::MemKind k, std::size_t size) {
                if (k != kind)
                    return false;
                sizes_.push_back(size);
                return nth == 0 || static_cast<int>(sizes_.size()) == nth;
            });
    }
    ~AllocFailure() { platform::testing::set_alloc_fault(nullptr); }
    AllocFailure(const AllocFailure &) = delete;
    AllocFailure &operator=(const AllocFailure &) = delete;

    // Sizes of the allocations of that kind asked for so far.
    const std::vector<std::size_t> &sizes() const { return sizes_; }

  private:
    std::vector<std::size_t> sizes_;
};

// Records the size of every allocation of one kind, failing none.
class AllocRecorder : public AllocFailure {
  public:
    explicit AllocRecorder(platform::MemKind kind) : AllocFailure(kind, -1) {}
};

// A program directory of its own, with the store created from its preferences file
// (if `prefs` is given) and released at the end.
class PrefsDirTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::testing::set_program_dir(dir.path().string()); }
    void TearDown() override
    {
        config_shut();
        platform::testing::set_program_dir(std::nullopt);
        platform::testing::set_file_hook(nullptr);
    }

    fs::path prefs() const { return dir / "Karthos.prefs"; }

    // Saves the store and returns what was written.
    std::string read_back()
    {
        EXPECT_TRUE(config_save());
        return read_file(prefs());
    }

    // Loads `bytes` as the preferences file, saves, and returns what was written.
    std::string round_trip(const std::string &bytes)
    {
        write_file(prefs(), bytes);
        EXPECT_TRUE(config_init());
        EXPECT_TRUE(config_save());
        return read_file(prefs());
    }

    TempDir dir;
    MessageLog log;
};
