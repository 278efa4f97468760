#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

std::optional<std::string> &program_dir_override()
{
    static std::optional<std::string> dir;
    return dir;
}

std::optional<testing::FileStep> &file_fault()
{
    static std::optional<testing::FileStep> step;
    return step;
}

bool fault_at(testing::FileStep step)
{
    if (file_fault() != step)
        return false;
    errno = step == testing::FileStep::write ? ENOSPC : EIO;
    return true;
}

std::string dir_of(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

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
        path = link.front() == '/' ? link : dir_of(path) + "/" + link;
    }
    return path;
}

// Creates a new, empty file next to `target` that nobody else has open.
int create_temp_beside(const std::string &target, std::string &temp)
{
    const std::string base = dir_of(target) + "/." + target.substr(target.rfind('/') + 1) + ".tmp" +
                             std::to_string(getpid()) + "-";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temp = base + std::to_string(attempt);
        // 0666 so that the user's umask decides the mode of a file that is new.
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void sync_directory(const std::string &dir)
{
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd); // the data itself is already safe; this only hastens the new name
    close(fd);
}

} // namespace

std::string program_dir()
{
    if (program_dir_override())
        return *program_dir_override();
    std::string exe(PATH_MAX, '\0');
    const ssize_t len = readlink("/proc/self/exe", exe.data(), exe.size());
    if (len <= 0)
        return ".";
    exe.resize(static_cast<std::size_t>(len));
    return dir_of(exe);
}

std::string progdir_path(std::string_view name)
{
    std::string dir = program_dir();
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir.append(name);
}

LineReader::LineReader(const std::string &path) : file_(std::fopen(path.c_str(), "re")) {}

LineReader::~LineReader()
{
    std::free(buf_);
    if (file_)
        std::fclose(file_);
}

char *LineReader::next_line()
{
    if (!file_ || getline(&buf_, &cap_, file_) < 0)
        return nullptr;
    return buf_;
}

FileReplacer::FileReplacer(const std::string &path) : target_(resolve_links(path))
{
    if (fault_at(testing::FileStep::create))
        return;
    const int fd = create_temp_beside(target_, temp_);
    if (fd < 0)
        return;
    struct stat old {};
    if (stat(target_.c_str(), &old) == 0) {
        if (fchmod(fd, old.st_mode & 07777) != 0)
            failed_ = true;
        if (geteuid() == 0 && fchown(fd, old.st_uid, old.st_gid) != 0) {
            // The file then belongs to us; its contents are still right.
        }
    }
    file_ = fdopen(fd, "w");
    if (!file_) {
        close(fd);
        unlink(temp_.c_str());
    }
}

FileReplacer::~FileReplacer()
{
    if (file_)
        discard();
}

void FileReplacer::printf(const char *fmt, ...)
{
    if (!file_ || failed_)
        return;
    std::va_list args;
    va_start(args, fmt);
    if (std::vfprintf(file_, fmt, args) < 0 || fault_at(testing::FileStep::write))
        failed_ = true;
    va_end(args);
}

bool FileReplacer::commit()
{
    if (!file_)
        return false;
    bool ok = !failed_ && std::fflush(file_) == 0 && !std::ferror(file_);
    ok = ok && !fault_at(testing::FileStep::sync) && fsync(fileno(file_)) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    ok = ok && closed && !fault_at(testing::FileStep::rename) &&
         std::rename(temp_.c_str(), target_.c_str()) == 0;
    if (!ok) {
        unlink(temp_.c_str());
        return false;
    }
    sync_directory(dir_of(target_));
    return true;
}

void FileReplacer::discard()
{
    std::fclose(file_);
    file_ = nullptr;
    unlink(temp_.c_str());
}

void testing::set_program_dir(std::optional<std::string> dir)
{
    program_dir_override() = std::move(dir);
}

void testing::set_file_fault(std::optional<FileStep> step)
{
    file_fault() = step;
}

} // namespace platform
