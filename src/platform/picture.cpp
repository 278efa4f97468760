#include "platform/picture.h"

#include "platform/ilbm.h"
#include "platform/qt_private.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <cmath>

namespace platform {

namespace {

// Icons of a theme are far smaller than this.
constexpr int32 MAX_ICON_SIZE = 1024;
constexpr QLatin1String ADWAITA("Adwaita");

const std::uint8_t *bytes(const FileContents &file)
{
    return reinterpret_cast<const std::uint8_t *>(file.data());
}

// The icon at `size` device-independent pixels and `ratio` device pixels to each;
// scaled up when the theme only has smaller pictures of it.
QPixmap render_icon(const QIcon &icon, int size, qreal ratio)
{
    QPixmap pixmap = icon.isNull() ? QPixmap() : icon.pixmap(QSize(size, size), ratio);
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

// The icon as the themes draw it.
QPixmap draw_theme_icon(const QString &name, int size, qreal ratio)
{
    const QString theme = QIcon::themeName();
    // hicolor, what Qt takes where the desktop names no theme, holds few icons: then, and
    // where the desktop's theme lacks the icon, Adwaita, which most desktops install,
    // stands in. A theme's icon follows the theme in use, so it is drawn before the
    // desktop's theme is put back.
    const bool own_theme = !theme.isEmpty() && theme != QLatin1String("hicolor");
    QPixmap pixmap = own_theme ? render_icon(QIcon::fromTheme(name), size, ratio) : QPixmap();
    if (pixmap.isNull() && theme != ADWAITA) {
        QIcon::setThemeName(QString(ADWAITA));
        pixmap = render_icon(QIcon::fromTheme(name), size, ratio);
        QIcon::setThemeName(theme);
    }
    return pixmap;
}

// Where the drawn icon is kept between runs, for this theme and these icon folders;
// empty without a cache directory.
QString cache_path(const QString &name, int pixels)
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString folders = QString::number(qHash(QIcon::themeSearchPaths()), 16);
    QString file = QStringLiteral("%1-%2-%3-%4.png")
                       .arg(QIcon::themeName(), name, QString::number(pixels), folders);
    return dir.isEmpty() ? QString() : dir + "/icons/" + file.replace('/', '_');
}

// The last change to the installed themes: installing, removing or updating one (an
// update rewrites its icon-theme.cache) changes a directory listed here.
QDateTime themes_changed()
{
    QDateTime last;
    for (const QString &base : QIcon::themeSearchPaths()) {
        const QFileInfoList dirs = QDir(base).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)
                                   << QFileInfo(base);
        for (const QFileInfo &dir : dirs)
            if (dir.exists() && !(last.isValid() && dir.lastModified() <= last))
                last = dir.lastModified();
    }
    return last;
}

// The cached icon, if it is a file newer than every theme and about the size asked for.
QPixmap cached_icon(const QString &path, int pixels)
{
    const QFileInfo file(path);
    if (!file.isFile() || file.lastModified() <= themes_changed())
        return {};
    QImageReader reader(path, "png");
    const QSize size = reader.size();
    if (size.isEmpty() || size.width() > 2 * pixels || size.height() > 2 * pixels)
        return {};
    return QPixmap::fromImageReader(&reader);
}

} // namespace

Picture *open_picture(const std::string &path)
{
    auto file = std::make_shared<FileContents>();
    if (read_whole_file(path, *file) != 0)
        return nullptr;
    const QSize size = ilbm_size(bytes(*file), file->size());
    return size.isEmpty() ? nullptr : new Picture{std::move(file), size};
}

Picture *open_theme_picture(CONST_STRPTR icon_name, int32 min_size)
{
    if (!icon_name || !*icon_name || min_size <= 0 || min_size > MAX_ICON_SIZE)
        return nullptr;
    return new Picture{nullptr, QSize(min_size, min_size), icon_name};
}

QImage decode_picture(const Picture &picture)
{
    return picture.file ? decode_ilbm(bytes(*picture.file), picture.file->size()) : QImage();
}

// Drawing a theme's icon may mean decoding a far larger picture (Adwaita has its
// full-colour icons at 512 pixels only): a quarter of the instructions of the launcher's
// start-up. So the drawn icon is kept in the user's cache, and drawn again once a theme
// changed. Without a cache it is drawn every time.
QPixmap theme_icon(const Picture &picture)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : qGuiApp->devicePixelRatio();
    const QString name = QString::fromStdString(picture.icon);
    const int size = picture.size.width();
    const int pixels = static_cast<int>(std::ceil(size * ratio));
    const QString path = cache_path(name, pixels);
    QPixmap pixmap = path.isEmpty() ? QPixmap() : cached_icon(path, pixels);
    if (pixmap.isNull()) {
        pixmap = draw_theme_icon(name, size, ratio);
        QSaveFile file(path);
        if (!pixmap.isNull() && !path.isEmpty() && QDir().mkpath(QFileInfo(path).path()) &&
            file.open(QIODevice::WriteOnly) && pixmap.save(&file, "PNG"))
            file.commit();
    }
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

void free_picture(Picture *picture)
{
    delete picture;
}

} // namespace platform
