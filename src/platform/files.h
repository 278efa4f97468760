// Files of the program directory: where they are, reading one whole, and replacing
// one safely.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The running executable, as an absolute path; empty if the system cannot tell.
std::string program_file();

// The directory that holds the running executable (the game's directory); empty if
// the system cannot tell: never the current directory instead.
std::string program_dir();

// Why the program directory is not known, in words ("/proc/self/exe: File name too
// long"); empty when it is.
std::string program_dir_error();

// `name` inside the program directory; empty when that is not known, so that no file
// is ever looked for, let alone written, anywhere else.
std::string progdir_path(std::string_view name);

// Larger files are refused unread: a preferences file is a few kilobytes, and a
// runaway one must not take the machine's memory.
constexpr std::size_t MAX_READ_SIZE = std::size_t{64} << 20;

// Why a file could not be read or replaced: an errno value, or one of these.
constexpr int FILE_NOT_REGULAR = -1;
constexpr int FILE_TOO_LARGE = -2;

// The reason in words, for the user.
std::string file_error_text(int error);

// One version of a file, as the system describes it: where it lies (device and
// inode), its size and the time it was last written, to the nanosecond.
struct FileStamp {
    unsigned long long device = 0, inode = 0;
    long long size = 0, mtime_ns = 0;
    bool operator==(const FileStamp &) const = default;
};

// A whole file in memory, NUL-terminated, to be cut up in place.
class FileContents {
  public:
    FileContents() = default;
    ~FileContents();
    FileContents(const FileContents &) = delete;
    FileContents &operator=(const FileContents &) = delete;

    char *data() const { return data_; }
    std::size_t size() const { return size_; }
    // The file as it was when it was opened: a change while it was read shows at the
    // next look as another time.
    const FileStamp &stamp() const { return stamp_; }

  private:
    friend int read_whole_file(const std::string &path, FileContents &contents);
    char *data_ = nullptr;
    std::size_t size_ = 0;
    FileStamp stamp_;
};

// Reads the regular file at `path`, following links, into `contents`. It never
// blocks: a pipe, a device or a directory is refused as not a regular file, and so
// is a file over MAX_READ_SIZE. 0, or why not (ENOENT: there is no such file).
int read_whole_file(const std::string &path, FileContents &contents);

// Replaces the file at `path` (the target of a link) with `size` bytes of `data`,
// wholly or not at all: through a temporary file beside it, synced and renamed over
// it, carrying the old file's owner, group, mode and extended attributes (ACLs
// among them). Where those cannot be carried over (another user's file that we may
// write), the file is rewritten in place instead. Only a regular file that the user
// may write is replaced; a new one is created with the umask's mode. Temporary
// files that an earlier writer left behind when it died are removed. 0, or why not;
// on success, `written` (when given) describes the new file.
int replace_file(const std::string &path, const char *data, std::size_t size,
                 FileStamp *written = nullptr);

// Writes all `size` bytes of `data` to `fd`, going on after an interruption: 0, or
// why not (an errno value; ENOSPC when nothing more could be written).
int write_all(int fd, const char *data, std::size_t size);

namespace testing {
// Points the program directory elsewhere; nullopt returns to the executable's own.
void set_program_dir(std::optional<std::string> dir);

// The system calls of reading and replacing a file, in the order they come.
enum class FileStep { open, read, create, metadata, write, sync, rename };
// While set, the hook is called before each step; an errno value it returns makes
// that step fail as the system would, 0 lets it run.
void set_file_hook(std::function<int(FileStep step)> hook);
} // namespace testing

} // namespace platform
