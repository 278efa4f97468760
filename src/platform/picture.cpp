#include "platform/picture.h"

#include "platform/ilbm.h"
#include "platform/qt_private.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <cmath>

namespace platform {

namespace {

// Icons of a theme are far smaller than this.
constexpr int32 MAX_ICON_SIZE = 1024;
const QString ADWAITA = QStringLiteral("Adwaita");

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

QPixmap theme_icon(const Picture &picture)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : qGuiApp->devicePixelRatio();
    const QString name = QString::fromStdString(picture.icon);
    const int size = picture.size.width();
    const QString theme = QIcon::themeName();
    // hicolor, what Qt takes where the desktop names no theme, holds few icons: then, and
    // where the desktop's theme lacks the icon, Adwaita, which most desktops install,
    // stands in. A theme's icon follows the theme in use, so it is drawn before the
    // desktop's theme is put back.
    const bool own_theme = !theme.isEmpty() && theme != QLatin1String("hicolor");
    QPixmap pixmap = own_theme ? render_icon(QIcon::fromTheme(name), size, ratio) : QPixmap();
    if (pixmap.isNull() && theme != ADWAITA) {
        QIcon::setThemeName(ADWAITA);
        pixmap = render_icon(QIcon::fromTheme(name), size, ratio);
        QIcon::setThemeName(theme);
    }
    return pixmap;
}

void free_picture(Picture *picture)
{
    delete picture;
}

} // namespace platform
