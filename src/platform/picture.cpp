#include "platform/picture.h"

#include "platform/picture_decoder.h"
#include "platform/qt_private.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmapCache>
#include <QScreen>
#include <QStandardPaths>
#include <cmath>

namespace platform {

namespace {

bool have_gui()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
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

// Qt keeps the picture file an icon was made from for the rest of the run, both in the
// icon and in the pixmap cache, though the button shows it small: Adwaita draws its
// icons only at 512 x 512, a whole MiB. A changed search path makes the icon read the
// theme again, which lets its copy go, and the cache is emptied (what the style keeps
// there is drawn again when next needed).
void drop_icon_sources(const QString &name)
{
    QIcon::setThemeSearchPaths(QIcon::themeSearchPaths());
    [[maybe_unused]] const bool reread = QIcon::fromTheme(name).isNull();
    QPixmapCache::clear();
}

} // namespace

Picture *load_picture(const std::string &path)
{
    if (!have_gui())
        return nullptr;
    const QSize size = picture_file_size(path);
    if (size.isEmpty())
        return nullptr;
    PictureDecoding decoding(path, size);
    decoding.wait(10000);
    return picture_of(QPixmap::fromImage(decoding.image()));
}

Picture *open_picture(const std::string &path)
{
    if (!have_gui())
        return nullptr;
    const QSize size = picture_file_size(path);
    return size.isEmpty() ? nullptr : new Picture{QPixmap(), path, size};
}

Picture *open_theme_picture(CONST_STRPTR icon_name, int32 min_size)
{
    if (!icon_name || !*icon_name || min_size <= 0 ||
        min_size > static_cast<int32>(MAX_PICTURE_SIDE))
        return nullptr;
    return new Picture{QPixmap(), {}, QSize(min_size, min_size), icon_name};
}

Picture *theme_picture(CONST_STRPTR icon_name, int32 min_size)
{
    if (!have_gui() || !icon_name || !*icon_name || min_size <= 0 ||
        min_size > static_cast<int32>(MAX_PICTURE_SIDE))
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
    drop_icon_sources(name);
    return picture_of(std::move(pixmap));
}

void free_picture(Picture *picture)
{
    delete picture;
}

} // namespace platform
