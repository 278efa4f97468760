#include "platform/picture.h"

#include "platform/dynlib.h"
#include "platform/qt_private.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QScreen>
#include <QStandardPaths>
#include <SDL_image.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace platform {

namespace {

// The window's pictures are small. Larger files are refused unread, and IFF pictures
// of more pixels before SDL_image allocates for them.
constexpr std::uintmax_t MAX_FILE_BYTES = 64u << 20;
constexpr std::uint32_t MAX_SIDE = 16384;
constexpr std::uint64_t MAX_PIXELS = std::uint64_t{1} << 25;

bool have_gui()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

// The whole of a regular file, or false.
bool read_whole_file(const std::string &path, std::vector<std::uint8_t> &data)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size == 0 || size > MAX_FILE_BYTES)
        return false;
    std::ifstream in(path, std::ios::binary);
    data.resize(static_cast<std::size_t>(size));
    return in.read(reinterpret_cast<char *>(data.data()), static_cast<std::streamsize>(size)) &&
           in.gcount() == static_cast<std::streamsize>(size);
}

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
bool check_iff_picture(const std::vector<std::uint8_t> &data, IffPicture &picture)
{
    const std::uint8_t *p = data.data();
    const std::size_t size = data.size();
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
    if (width == 0 || height == 0 || width > MAX_SIDE || height > MAX_SIDE ||
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

// SDL_image comes with many libraries of its own (sound, Wayland, graphics cards, image
// formats): they are loaded only while a picture file is decoded and unloaded after, so
// that neither the start-up nor the rest of the run carries them.
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

// A copy of the surface as 32-bit ARGB, a colour key turned into clear pixels, cut to
// `width` x `height` when those are set and smaller (SDL_image pads the rows of IFF
// pictures to a multiple of 16 pixels).
QImage to_image(const SdlImage &sdl, SDL_Surface *decoded, int width, int height)
{
    const Surface argb(sdl.convert_surface_format(decoded, SDL_PIXELFORMAT_ARGB8888, 0),
                       SurfaceFree{sdl.free_surface});
    if (!argb || argb->w <= 0 || argb->h <= 0)
        return {};
    width = width > 0 ? std::min(width, argb->w) : argb->w;
    height = height > 0 ? std::min(height, argb->h) : argb->h;
    QImage image(width, height, QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    if (SDL_MUSTLOCK(argb.get()) && sdl.lock_surface(argb.get()) != 0)
        return {};
    const auto *pixels = static_cast<const std::uint8_t *>(argb->pixels);
    const auto row_bytes = static_cast<std::size_t>(width) * 4;
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), pixels + static_cast<std::ptrdiff_t>(y) * argb->pitch,
                    row_bytes);
    if (SDL_MUSTLOCK(argb.get()))
        sdl.unlock_surface(argb.get());
    return image;
}

Picture *picture_of(QPixmap pixmap)
{
    if (pixmap.isNull())
        return nullptr;
    return new Picture{std::move(pixmap)};
}

const QString ADWAITA = QStringLiteral("Adwaita");

// Makes Qt look for icon themes where the desktop keeps them. Not every display
// plug-in says where that is (the offscreen one names no directory at all), and some
// name no theme: then hicolor, the freedesktop default, is the theme, and Adwaita the
// fallback for anything it lacks.
void prepare_icon_themes()
{
    QStringList paths = QIcon::themeSearchPaths();
    QStringList wanted{QDir::homePath() + "/.icons"};
    for (const QString &dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        wanted << dir + "/icons";
    bool changed = false;
    for (const QString &dir : wanted)
        if (!paths.contains(dir) && QFileInfo(dir).isDir()) {
            paths << dir;
            changed = true;
        }
    const QString fallback = QIcon::fallbackThemeName();
    if (fallback.isEmpty() || fallback == "hicolor") {
        QIcon::setFallbackThemeName(ADWAITA);
        changed = true;
    }
    if (QIcon::themeName().isEmpty())
        QIcon::setThemeName("hicolor");
    // Qt keeps what it has read of each theme, fallback included, until the search
    // path changes.
    if (changed)
        QIcon::setThemeSearchPaths(paths);
}

// The icon at `size` device-independent pixels and `ratio` device pixels to each;
// scaled up when the theme only has smaller pictures of it.
QPixmap render_icon(const QIcon &icon, int size, qreal ratio)
{
    if (icon.isNull())
        return {};
    QPixmap pixmap = icon.pixmap(QSize(size, size), ratio);
    if (pixmap.isNull())
        return {};
    const QSizeF logical = pixmap.deviceIndependentSize();
    if (logical.width() < size || logical.height() < size) {
        const int device = static_cast<int>(std::ceil(size * ratio));
        pixmap =
            pixmap.scaled(device, device, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        pixmap.setDevicePixelRatio(ratio);
    }
    return pixmap;
}

} // namespace

Picture *load_picture(const std::string &path)
{
    if (!have_gui())
        return nullptr;
    std::vector<std::uint8_t> data;
    IffPicture iff;
    if (!read_whole_file(path, data) || !check_iff_picture(data, iff))
        return nullptr;
    SdlImage sdl;
    if (!sdl.complete())
        return nullptr;
    SDL_RWops *stream = sdl.rw_from_const_mem(data.data(), static_cast<int>(data.size()));
    if (!stream)
        return nullptr;
    const std::string ext = extension_of(path);
    const Surface decoded(sdl.load_typed_rw(stream, 1, ext.empty() ? nullptr : ext.c_str()),
                          SurfaceFree{sdl.free_surface});
    if (!decoded)
        return nullptr;
    QImage image = to_image(sdl, decoded.get(), iff.width, iff.height);
    if (image.isNull())
        return nullptr;
    return picture_of(QPixmap::fromImage(std::move(image)));
}

Picture *open_picture(const std::string &path)
{
    if (!have_gui())
        return nullptr;
    std::vector<std::uint8_t> data;
    IffPicture iff;
    if (!read_whole_file(path, data) || !check_iff_picture(data, iff))
        return nullptr;
    QSize size(static_cast<int>(iff.width), static_cast<int>(iff.height));
    if (size.isEmpty()) // not an IFF picture: ask Qt, which reads only the header
        size = QImageReader(QString::fromStdString(path)).size();
    if (size.isEmpty())
        return nullptr;
    return new Picture{QPixmap(), path, size};
}

Picture *open_theme_picture(CONST_STRPTR icon_name, int32 min_size)
{
    if (!icon_name || !*icon_name || min_size <= 0 || min_size > static_cast<int32>(MAX_SIDE))
        return nullptr;
    return new Picture{QPixmap(), {}, QSize(min_size, min_size), icon_name};
}

Picture *theme_picture(CONST_STRPTR icon_name, int32 min_size)
{
    if (!have_gui() || !icon_name || !*icon_name || min_size <= 0 ||
        min_size > static_cast<int32>(MAX_SIDE))
        return nullptr;
    prepare_icon_themes();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : qGuiApp->devicePixelRatio();
    const QString name = QString::fromUtf8(icon_name);

    QPixmap pixmap = render_icon(QIcon::fromTheme(name), min_size, ratio);
    if (pixmap.isNull() && QIcon::themeName() != ADWAITA && QIcon::fallbackThemeName() != ADWAITA) {
        // The desktop names a fallback of its own, and neither theme has the icon: look
        // in Adwaita directly, then put the desktop's theme back.
        const QString theme = QIcon::themeName();
        QIcon::setThemeName(ADWAITA);
        pixmap = render_icon(QIcon::fromTheme(name), min_size, ratio);
        QIcon::setThemeName(theme);
    }
    return picture_of(std::move(pixmap));
}

void free_picture(Picture *picture)
{
    delete picture;
}

} // namespace platform
