#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

std::optional<std::string> &program_dir_override()
{
    static std::optional<std::string> dir;
    return dir;
}

std::function<int(testing::FileStep)> &file_hook()
{
    static std::function<int(testing::FileStep)> hook;
    return hook;
}

// 0 to go on with `step`, else the errno value it is to fail with.
int injected(testing::FileStep step)
{
    return file_hook() ? file_hook()(step) : 0;
}

std::string dir_of(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string &path)
{
    return path.substr(path.rfind('/') + 1);
}

FileStamp stamp_of(const struct stat &st)
{
    return {.device = st.st_dev,
            .inode = st.st_ino,
            .size = st.st_size,
            .mtime_ns = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

// The stamp of the open file `fd`: 0, or why not.
int stamp_fd(int fd, FileStamp *stamp)
{
    struct stat st {};
    if (!stamp)
        return 0;
    if (fstat(fd, &st) != 0)
        return errno;
    *stamp = stamp_of(st);
    return 0;
}

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }

    // Opens `path` without blocking (a pipe that nobody writes to would hold open()
    // forever), and keeps it only if it is a regular file. 0, or why not.
    int open_regular(const std::string &path, int flags, struct stat &st)
    {
        fd_ = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0 || fstat(fd_, &st) != 0)
            return errno;
        return S_ISREG(st.st_mode) ? 0 : FILE_NOT_REGULAR;
    }

  private:
    int fd_;
};

// Follows symbolic links to the file that is really written. A link to a file that
// does not exist yet resolves to that file, so that it is created behind the link.
std::string resolve_links(std::string path)
{
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string link(PATH_MAX, '\0');
        const ssize_t len = readlink(path.c_str(), link.data(), link.size());
        if (len <= 0)
            return path;
        link.resize(static_cast<std::size_t>(len));
        path = link.front() == '/' ? link : dir_of(path).append("/").append(link);
    }
    return path;
}

// Temporary files are named after their target, so that a later writer finds the
// ones a writer that died left behind. Each writer holds a lock on its own while it
// lives; the system drops the lock when the writer dies, however it dies.
std::string temp_prefix(const std::string &target)
{
    return "." + base_of(target) + ".tmp";
}

void remove_stale_temps(const std::string &target)
{
    const std::string dir = dir_of(target);
    const std::string prefix = temp_prefix(target);
    std::unique_ptr<DIR, int (*)(DIR *)> listing(opendir(dir.c_str()), closedir);
    if (!listing)
        return;
    while (const dirent *entry = readdir(listing.get())) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0)
            continue;
        const std::string path = dir + "/" + entry->d_name;
        Descriptor fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat held {
        }, named{};
        if (fd.get() >= 0 && flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
            fstat(fd.get(), &held) == 0 && S_ISREG(held.st_mode) &&
            lstat(path.c_str(), &named) == 0 && named.st_ino == held.st_ino &&
            named.st_dev == held.st_dev)
            unlink(path.c_str());
    }
}

// A new, empty, locked file beside the target, removed again unless kept.
class TempFile {
  public:
    TempFile(const std::string &target, mode_t mode)
    {
        if ((error_ = injected(testing::FileStep::create)) != 0)
            return;
        const std::string base =
            dir_of(target) + "/" + temp_prefix(target) + std::to_string(getpid()) + "-";
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            path_ = base + std::to_string(attempt);
            fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd_ < 0 && errno != EEXIST) {
                error_ = errno;
                break;
            }
            if (fd_ >= 0 && locked_and_linked())
                return;
            if (fd_ >= 0)
                close(fd_);
            fd_ = -1;
        }
        if (error_ == 0)
            error_ = EEXIST;
        path_.clear();
    }
    ~TempFile()
    {
        if (fd_ >= 0)
            close(fd_);
        if (!path_.empty())
            unlink(path_.c_str());
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    int fd() const { return fd_; }
    int error() const { return error_; }
    const std::string &path() const { return path_; }
    void keep() { path_.clear(); }

  private:
    // Another writer's clean-up may have taken the file between its creation and
    // the lock: then it is gone from the directory, and another name is tried.
    bool locked_and_linked() const
    {
        struct stat st {};
        return flock(fd_, LOCK_EX | LOCK_NB) == 0 && fstat(fd_, &st) == 0 && st.st_nlink > 0;
    }

    std::string path_;
    int fd_ = -1;
    int error_ = 0;
};

int sync_file(int fd)
{
    if (const int e = injected(testing::FileStep::sync))
        return e;
    return fsync(fd) == 0 ? 0 : errno;
}

void sync_directory(const std::string &dir)
{
    Descriptor fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        fsync(fd.get()); // the data itself is already safe; this only hastens the new name
}

// Only a regular file that this user may write is replaced. Root may write any
// file, so for root a file without any write bit counts as protected.
int check_replaceable(const std::string &target, const struct stat &old)
{
    if (!S_ISREG(old.st_mode))
        return FILE_NOT_REGULAR;
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return errno;
    if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return EACCES;
    return 0;
}

int copy_extended_attributes(const std::string &from, int to)
{
    const ssize_t list_size = listxattr(from.c_str(), nullptr, 0);
    if (list_size <= 0)
        return 0; // none, or a file system without them
    std::vector<char> names(static_cast<std::size_t>(list_size));
    const ssize_t got = listxattr(from.c_str(), names.data(), names.size());
    if (got < 0)
        return errno;
    std::vector<char> value;
    for (const char *name = names.data(); name < names.data() + got;
         name += std::strlen(name) + 1) {
        const ssize_t len = getxattr(from.c_str(), name, nullptr, 0);
        if (len < 0)
            return errno;
        value.resize(static_cast<std::size_t>(len));
        const ssize_t read = getxattr(from.c_str(), name, value.data(), value.size());
        if (read < 0 || fsetxattr(to, name, value.data(), static_cast<std::size_t>(read), 0) != 0)
            return errno;
    }
    return 0;
}

// Gives the new file everything the old one carried. EPERM when this user may not.
int copy_metadata(const std::string &from, const struct stat &old, int to)
{
    if (const int e = injected(testing::FileStep::metadata))
        return e;
    if ((old.st_uid != geteuid() || old.st_gid != getegid()) &&
        fchown(to, old.st_uid, old.st_gid) != 0)
        return errno;
    if (fchmod(to, old.st_mode & 07777) != 0)
        return errno;
    const int e = copy_extended_attributes(from, to);
    return e == EACCES || e == ENOTSUP ? EPERM : e;
}

// The fallback for a file whose owner, group or attributes a new file could not
// keep: the old file itself is rewritten, once the whole text is ready. Room is
// taken first, so that a full disk stops the write before the old text is touched.
int rewrite_in_place(const std::string &target, const struct stat &old, const char *data,
                     std::size_t size, FileStamp *written)
{
    Descriptor fd;
    struct stat now {};
    if (const int e = fd.open_regular(target, O_WRONLY | O_NOFOLLOW, now))
        return e;
    const auto new_size = static_cast<off_t>(size);
    if (new_size > old.st_size) {
        const int e = posix_fallocate(fd.get(), 0, new_size);
        if (e != 0 && e != EOPNOTSUPP && e != EINVAL) {
            [[maybe_unused]] const int undone = ftruncate(fd.get(), old.st_size);
            return e;
        }
    }
    if (const int e = write_all(fd.get(), data, size))
        return e;
    if (ftruncate(fd.get(), new_size) != 0)
        return errno;
    if (const int e = sync_file(fd.get()))
        return e;
    return stamp_fd(fd.get(), written);
}

} // namespace

int write_all(int fd, const char *data, std::size_t size)
{
    constexpr std::size_t CHUNK = std::size_t{64} << 10;
    while (size > 0) {
        if (const int e = injected(testing::FileStep::write))
            return e;
        const ssize_t n = write(fd, data, std::min(size, CHUNK));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

namespace {

constexpr const char *SELF_EXE = "/proc/self/exe";

// The executable's path, or (empty) the errno value that says why it is not known.
std::string read_program_file(int &error)
{
    for (std::size_t room = PATH_MAX; room <= (std::size_t{1} << 20); room *= 2) {
        std::string exe(room, '\0');
        const ssize_t len = readlink(SELF_EXE, exe.data(), exe.size());
        if (len < 0) {
            error = errno;
            return {};
        }
        if (static_cast<std::size_t>(len) == room)
            continue; // it may have been cut short
        exe.resize(static_cast<std::size_t>(len));
        error = exe.starts_with('/') ? 0 : ENOENT; // not a path: the file is gone, say
        return error ? std::string() : exe;
    }
    error = ENAMETOOLONG;
    return {};
}

} // namespace

std::string program_file()
{
    int error = 0;
    return read_program_file(error);
}

std::string program_dir()
{
    if (program_dir_override())
        return *program_dir_override();
    const std::string exe = program_file();
    return exe.empty() ? std::string() : dir_of(exe);
}

std::string program_dir_error()
{
    if (program_dir_override())
        return {};
    int error = 0;
    read_program_file(error);
    return error ? std::string(SELF_EXE) + ": " + std::strerror(error) : std::string();
}

std::string progdir_path(std::string_view name)
{
    std::string dir = program_dir();
    if (dir.empty())
        return {};
    if (dir.back() != '/')
        dir += '/';
    return dir.append(name);
}

std::string file_error_text(int error)
{
    switch (error) {
    case FILE_NOT_REGULAR:
        return "not a regular file";
    case FILE_TOO_LARGE:
        return "larger than " + std::to_string(MAX_READ_SIZE >> 20) + " MiB";
    default:
        return std::strerror(error);
    }
}

FileContents::~FileContents()
{
    std::free(data_);
}

int read_whole_file(const std::string &path, FileContents &contents)
{
    if (const int e = injected(testing::FileStep::open))
        return e;
    Descriptor fd;
    struct stat st {};
    if (const int e = fd.open_regular(path, O_RDONLY, st))
        return e;
    if (static_cast<std::size_t>(st.st_size) > MAX_READ_SIZE)
        return FILE_TOO_LARGE;
    const FileStamp stamp = stamp_of(st);

    // The file may grow while it is read: read on to one byte past the limit.
    std::size_t capacity = static_cast<std::size_t>(st.st_size) + 1;
    std::size_t size = 0;
    char *buf = static_cast<char *>(std::malloc(capacity + 1));
    const std::unique_ptr<char *, void (*)(char **)> release(&buf, [](char **p) { std::free(*p); });
    for (;;) {
        if (!buf)
            return ENOMEM;
        if (size == capacity) {
            if (capacity > MAX_READ_SIZE)
                return FILE_TOO_LARGE;
            capacity = std::min(2 * capacity, MAX_READ_SIZE + 1);
            char *grown = static_cast<char *>(std::realloc(buf, capacity + 1));
            if (!grown)
                return ENOMEM;
            buf = grown;
        }
        if (const int e = injected(testing::FileStep::read))
            return e;
        const ssize_t n = read(fd.get(), buf + size, capacity - size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        size += static_cast<std::size_t>(n);
    }
    buf[size] = '\0';
    std::free(contents.data_);
    contents.data_ = std::exchange(buf, nullptr);
    contents.size_ = size;
    contents.stamp_ = stamp;
    return 0;
}

int replace_file(const std::string &path, const char *data, std::size_t size, FileStamp *written)
{
    if (path.empty())
        return ENOENT; // never a file in the current directory instead
    const std::string target = resolve_links(path);
    struct stat old {};
    const bool exists = stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return errno;
    if (exists)
        if (const int e = check_replaceable(target, old))
            return e;

    remove_stale_temps(target);
    // A new file takes the umask's mode; a replacement stays private until it has
    // the old file's owner and mode.
    TempFile temp(target, exists ? 0600 : 0666);
    if (exists && (temp.error() == EACCES || temp.error() == EPERM))
        return rewrite_in_place(target, old, data, size, written); // the directory is not ours
    if (temp.error())
        return temp.error();
    if (exists)
        if (const int e = copy_metadata(target, old, temp.fd()))
            return e == EPERM ? rewrite_in_place(target, old, data, size, written) : e;
    if (const int e = write_all(temp.fd(), data, size))
        return e;
    if (const int e = sync_file(temp.fd()))
        return e;
    if (const int e = stamp_fd(temp.fd(), written))
        return e;
    if (const int e = injected(testing::FileStep::rename))
        return e;
    if (std::rename(temp.path().c_str(), target.c_str()) != 0)
        return errno;
    temp.keep();
    sync_directory(dir_of(target));
    return 0;
}

void testing::set_program_dir(std::optional<std::string> dir)
{
    program_dir_override() = std::move(dir);
}

void testing::set_file_hook(std::function<int(FileStep step)> hook)
{
    file_hook() = std::move(hook);
}

} // namespace platform
