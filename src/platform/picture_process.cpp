#include "platform/picture_process.h"

#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/process.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QObject>
#include <QSocketNotifier>
#include <SDL_image.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// IFF pictures of more pixels are refused before SDL_image allocates for them (files
// over 64 MiB are refused unread).
constexpr std::uint64_t MAX_PIXELS = std::uint64_t{1} << 25;

// The launcher's executable, started under these names, does a picture job (see
// work_if_started_as_picture_process).
constexpr char DECODER_NAME[] = "ktlaunch-picture-decoder";
constexpr char ICON_MAKER_NAME[] = "ktlaunch-icon-maker";

std::uint32_t be32(const std::uint8_t *p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint32_t be16(const std::uint8_t *p)
{
    return std::uint32_t{p[0]} << 8 | p[1];
}

bool is_id(const std::uint8_t *p, const char (&id)[5])
{
    return std::memcmp(p, id, 4) == 0;
}

// A row part in ByteRun1: n in 0..127 copies n + 1 bytes, n in -127..-1 repeats one
// byte 1 - n times. Whether -128 is a no-op or a run depends on the reader, so it is
// refused, as is a run that reaches past the end of its row part or of the data.
bool byterun1_rows_fit(const std::uint8_t *body, std::uint64_t size, std::uint64_t row_part,
                       std::uint64_t row_parts)
{
    std::uint64_t at = 0;
    for (std::uint64_t part = 0; part < row_parts; ++part)
        for (std::uint64_t left = row_part; left > 0;) {
            if (at >= size)
                return false;
            const int n = body[at] < 128 ? body[at] : body[at] - 256;
            ++at;
            if (n == -128)
                return false;
            const auto count = static_cast<std::uint64_t>(n >= 0 ? n + 1 : 1 - n);
            const std::uint64_t stored = n >= 0 ? count : 1;
            if (count > left || at + stored > size)
                return false;
            at += stored;
            left -= count;
        }
    return true;
}

// What an IFF picture's header says about it.
struct IffPicture {
    bool is_iff = false;
    int width = 0;
    int height = 0;
};

// SDL_image decodes IFF pictures as it reads them and trusts their headers, so an IFF
// picture is checked first: its chunks must lie inside the file, the header (BMHD) must
// come before the pixels (BODY) and describe a picture SDL_image can show, and the
// pixels must be complete inside BODY. True, with is_iff false, for data that is not
// an IFF picture: the decoders look at that themselves.
bool check_iff_picture(const std::uint8_t *p, std::size_t size, IffPicture &picture)
{
    if (size < 12 || !is_id(p, "FORM"))
        return true;
    const bool pbm = is_id(p + 8, "PBM ");
    if (!pbm && !is_id(p + 8, "ILBM"))
        return true;
    picture.is_iff = true;
    const std::uint64_t form_end = std::uint64_t{be32(p + 4)} + 8;
    if (form_end > size)
        return false;

    const std::uint8_t *bmhd = nullptr;
    const std::uint8_t *body = nullptr;
    std::uint64_t body_size = 0;
    for (std::uint64_t at = 12; at < form_end && !body;) {
        if (at + 8 > form_end)
            return false;
        const std::uint64_t length = be32(p + at + 4);
        const std::uint64_t data_at = at + 8;
        if (data_at + length > form_end)
            return false;
        if (is_id(p + at, "BMHD")) {
            if (length < 20)
                return false;
            bmhd = p + data_at;
        } else if (is_id(p + at, "CMAP")) {
            if (length > std::size_t{3} * 256)
                return false;
        } else if (is_id(p + at, "BODY")) {
            if (!bmhd)
                return false;
            body = p + data_at;
            body_size = length;
        }
        at = data_at + length + (length & 1);
    }
    if (!body)
        return false;

    const std::uint32_t width = be16(bmhd), height = be16(bmhd + 2);
    const unsigned planes = bmhd[8], masking = bmhd[9], compression = bmhd[10];
    if (width == 0 || height == 0 || width > MAX_PICTURE_SIDE || height > MAX_PICTURE_SIDE ||
        std::uint64_t{width} * height > MAX_PIXELS)
        return false;
    const bool planes_known = pbm ? planes == 8 : (planes >= 1 && planes <= 8) || planes == 24;
    if (!planes_known || masking > 3 || compression > 1)
        return false;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);

    // Rows as SDL_image reads them: every bitplane padded to 16-bit words, and one more
    // plane when bit 0 of the masking is set; for PBM one byte a pixel, padded likewise.
    const std::uint64_t words = (width + 15) / 16;
    const std::uint64_t row_part = pbm ? words * 16 : words * 2;
    const std::uint64_t row_parts = std::uint64_t{height} * (pbm ? 1 : planes + (masking & 1));
    if (compression == 0)
        return body_size >= row_part * row_parts;
    return byterun1_rows_fit(body, body_size, row_part, row_parts);
}

// Reads the whole picture file, never blocking on what is not a regular file, and
// checks it if it is an IFF picture.
bool read_picture_file(const std::string &path, FileContents &file, IffPicture &iff)
{
    return read_whole_file(path, file) == 0 && file.size() > 0 &&
           check_iff_picture(reinterpret_cast<const std::uint8_t *>(file.data()), file.size(), iff);
}

// SDL_image, loaded by the decoder process only.
struct SdlImage {
    // False when the library is not installed or lacks a function.
    bool complete()
    {
        return library.find("SDL_RWFromConstMem", rw_from_const_mem) &&
               library.find("IMG_LoadTyped_RW", load_typed_rw) &&
               library.find("SDL_ConvertSurfaceFormat", convert_surface_format) &&
               library.find("SDL_FreeSurface", free_surface) &&
               library.find("SDL_LockSurface", lock_surface) &&
               library.find("SDL_UnlockSurface", unlock_surface);
    }

    DynamicLibrary library{"libSDL2_image-2.0.so.0"};
    decltype(&SDL_RWFromConstMem) rw_from_const_mem = nullptr;
    decltype(&IMG_LoadTyped_RW) load_typed_rw = nullptr;
    decltype(&SDL_ConvertSurfaceFormat) convert_surface_format = nullptr;
    decltype(&SDL_FreeSurface) free_surface = nullptr;
    decltype(&SDL_LockSurface) lock_surface = nullptr;
    decltype(&SDL_UnlockSurface) unlock_surface = nullptr;
};

struct SurfaceFree {
    decltype(&SDL_FreeSurface) free;
    void operator()(SDL_Surface *surface) const { free(surface); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

// The file name's extension, which SDL_image needs for formats without a signature.
std::string extension_of(const std::string &path)
{
    const std::string ext = std::filesystem::path(path).extension().string();
    return ext.size() > 1 ? ext.substr(1) : std::string();
}

// Writes the picture's size, then its pixels in the form the screen takes them:
// 32-bit ARGB, premultiplied, rows without padding.
bool write_image(int fd, const QImage &picture)
{
    const QImage argb = picture.convertedTo(QImage::Format_ARGB32_Premultiplied);
    const std::uint32_t size[2] = {static_cast<std::uint32_t>(argb.width()),
                                   static_cast<std::uint32_t>(argb.height())};
    return !argb.isNull() &&
           write_all(fd, reinterpret_cast<const char *>(size), sizeof size) == 0 &&
           write_all(fd, reinterpret_cast<const char *>(argb.constBits()),
                     static_cast<std::size_t>(argb.sizeInBytes())) == 0;
}

// Writes the picture, a colour key turned into clear pixels, cut to the IFF header's
// size where that is smaller (SDL_image pads the rows of IFF pictures to a multiple of
// 16 pixels).
bool write_surface(int fd, const SdlImage &sdl, SDL_Surface *decoded, const IffPicture &iff)
{
    const Surface argb(sdl.convert_surface_format(decoded, SDL_PIXELFORMAT_ARGB8888, 0),
                       SurfaceFree{sdl.free_surface});
    if (!argb || argb->w <= 0 || argb->h <= 0)
        return false;
    if (SDL_MUSTLOCK(argb.get()) && sdl.lock_surface(argb.get()) != 0)
        return false;
    const QImage rows(static_cast<const uchar *>(argb->pixels),
                      iff.is_iff ? std::min(iff.width, argb->w) : argb->w,
                      iff.is_iff ? std::min(iff.height, argb->h) : argb->h, argb->pitch,
                      QImage::Format_ARGB32);
    const bool written = write_image(fd, rows);
    if (SDL_MUSTLOCK(argb.get()))
        sdl.unlock_surface(argb.get());
    return written;
}

bool decode_to(int fd, const std::string &path)
{
    FileContents file;
    IffPicture iff;
    if (!read_picture_file(path, file, iff))
        return false;
    SdlImage sdl;
    if (!sdl.complete())
        return false;
    SDL_RWops *stream = sdl.rw_from_const_mem(file.data(), static_cast<int>(file.size()));
    if (!stream)
        return false;
    const std::string ext = extension_of(path);
    const Surface decoded(sdl.load_typed_rw(stream, 1, ext.empty() ? nullptr : ext.c_str()),
                          SurfaceFree{sdl.free_surface});
    return decoded && write_surface(fd, sdl, decoded.get(), iff);
}

bool make_theme_icon(int fd, int argc, char **argv)
{
    // The minimal platform: pictures, without a display or fonts.
    int app_argc = 3;
    char flag[] = "-platform", platform[] = "minimal";
    char *app_argv[] = {argv[0], flag, platform, nullptr};
    const QGuiApplication app(app_argc, app_argv);
    return write_image(fd, theme_icon_image({argv + 1, argv + argc}));
}

// A picture process does its job before anything else of the program runs, and ends:
// nothing of the launcher's but this. Every program that has this module in it does
// these jobs, the launcher and its tests alike. (glibc hands constructors the command
// line.)
[[gnu::constructor(101)]] void work_if_started_as_picture_process(int argc, char **argv, char **)
{
    if (argc < 2 || !argv[0])
        return;
    const std::string_view name = argv[0];
    if (name == DECODER_NAME && argc == 2)
        _exit(decode_to(STDOUT_FILENO, argv[1]) ? 0 : 1);
    if (name == ICON_MAKER_NAME)
        _exit(make_theme_icon(STDOUT_FILENO, argc, argv) ? 0 : 1);
}

} // namespace

QSize picture_file_size(const std::string &path)
{
    FileContents file;
    IffPicture iff;
    if (!read_picture_file(path, file, iff))
        return {};
    if (iff.is_iff)
        return {iff.width, iff.height};
    // Not an IFF picture: ask Qt, which reads only the header.
    const QSize size = QImageReader(QString::fromStdString(path)).size();
    const bool fits = size.width() <= static_cast<int>(MAX_PICTURE_SIDE) &&
                      size.height() <= static_cast<int>(MAX_PICTURE_SIDE) &&
                      std::uint64_t(size.width()) * std::uint64_t(size.height()) <= MAX_PIXELS;
    return fits ? size : QSize();
}

PictureProcess::PictureProcess(PictureJob job, const std::vector<std::string> &args, QSize max)
    : max_(max)
{
    int pixels[2];
    if (max.isEmpty() || pipe2(pixels, O_CLOEXEC) != 0)
        return;
    // Nothing to read, and nothing to say: the picture is all it writes.
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    SpawnRequest request{.program = "/proc/self/exe", .args = args};
    request.name = job == PictureJob::decode_file ? DECODER_NAME : ICON_MAKER_NAME;
    request.in = request.err = null;
    request.out = pixels[1];
    pid_ = null < 0 ? -1 : spawn_child(request);
    close(pixels[1]);
    if (null >= 0)
        close(null);
    if (pid_ < 0) {
        close(pixels[0]);
        return;
    }
    fd_ = pixels[0];
    fcntl(fd_, F_SETFL, O_NONBLOCK);
}

PictureProcess::~PictureProcess()
{
    if (fd_ >= 0)
        kill(pid_, SIGKILL);
    finish(false);
}

bool PictureProcess::read_more()
{
    // The header, then the pixels straight into the picture: never more than it holds.
    const std::size_t header_bytes = sizeof header_;
    while (fd_ >= 0) {
        const bool in_header = received_ < header_bytes;
        const std::size_t total =
            header_bytes + (in_header ? 0 : static_cast<std::size_t>(image_.sizeInBytes()));
        char *to = in_header ? reinterpret_cast<char *>(header_) + received_
                             : reinterpret_cast<char *>(image_.bits()) + (received_ - header_bytes);
        const std::size_t room = in_header ? header_bytes - received_ : total - received_;
        char extra;
        const ssize_t n = read(fd_, room ? to : &extra, room ? room : 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return false;
        if (n <= 0 || room == 0) { // the end, or more than the picture holds
            finish(n == 0 && !in_header && received_ == total);
            break;
        }
        received_ += static_cast<std::size_t>(n);
        if (received_ == header_bytes && !start_image())
            finish(false);
    }
    return true;
}

bool PictureProcess::start_image()
{
    const auto [width, height] = header_;
    if (width == 0 || height == 0 || width > static_cast<std::uint32_t>(max_.width()) ||
        height > static_cast<std::uint32_t>(max_.height()))
        return false;
    image_ = QImage(static_cast<int>(width), static_cast<int>(height),
                    QImage::Format_ARGB32_Premultiplied);
    return !image_.isNull();
}

void PictureProcess::wait(int timeout_ms)
{
    pollfd p{fd_, POLLIN, 0};
    while (fd_ >= 0 && !read_more()) {
        const int ready = poll(&p, 1, timeout_ms);
        if (ready == 0 || (ready < 0 && errno != EINTR)) {
            kill(pid_, SIGKILL);
            finish(false);
        }
    }
}

void PictureProcess::finish(bool complete)
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (pid_ > 0)
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    pid_ = -1;
    if (!complete)
        image_ = QImage();
}

void picture_later(PictureJob job, const std::vector<std::string> &args, QSize max, QObject *owner,
                   std::function<void(const QImage &)> done)
{
    auto process = std::make_shared<PictureProcess>(job, args, max);
    if (process->fd() < 0) {
        done(QImage());
        return;
    }
    auto *notifier = new QSocketNotifier(process->fd(), QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [notifier, process, done = std::move(done)] {
                         if (!process->read_more())
                             return;
                         notifier->setEnabled(false);
                         notifier->deleteLater();
                         done(process->image());
                     });
}

} // namespace platform
