// Files of the program directory: where they are, reading them line by line, and
// replacing one safely.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The directory that holds the running executable (the game's directory).
std::string program_dir();

// `name` inside the program directory.
std::string progdir_path(std::string_view name);

// Reads an existing file line by line, each line whole, whatever its length.
class LineReader {
  public:
    explicit LineReader(const std::string &path);
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    bool is_open() const { return file_ != nullptr; }

    // The next line with its line feed (if it has one), NUL-terminated, in a buffer
    // that the next call reuses. Null at the end of the file and on a read error.
    char *next_line();

  private:
    std::FILE *file_ = nullptr;
    char *buf_ = nullptr;
    std::size_t cap_ = 0;
};

// Replaces a file as a whole or not at all. The new text goes to a temporary file
// beside the target; only commit() puts it in place, with the old file's permission
// bits. A symbolic link is kept and its target replaced. Until commit() succeeds
// the old file is untouched, and a writer that is dropped removes its temporary file.
class FileReplacer {
  public:
    explicit FileReplacer(const std::string &path);
    ~FileReplacer();
    FileReplacer(const FileReplacer &) = delete;
    FileReplacer &operator=(const FileReplacer &) = delete;

    bool is_open() const { return file_ != nullptr; }

    // Formatted output; the first failure is remembered and makes commit() fail.
    void printf(const char *fmt, ...) __attribute__((format(printf, 2, 3)));

    // Flushes, syncs and renames over the target. False when any step failed.
    bool commit();

  private:
    void discard();

    std::string target_;
    std::string temp_;
    std::FILE *file_ = nullptr;
    bool failed_ = false;
};

namespace testing {
// Points the program directory elsewhere; nullopt returns to the executable's own.
void set_program_dir(std::optional<std::string> dir);

// Makes one step of FileReplacer fail as the system would.
enum class FileStep { create, write, sync, rename };
void set_file_fault(std::optional<FileStep> step);
} // namespace testing

} // namespace platform
