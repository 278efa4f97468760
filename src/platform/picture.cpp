#include "platform/picture.h"

#include "platform/picture_process.h"
#include "platform/qt_private.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QScreen>
#include <QStandardPaths>
#include <cmath>

namespace platform {

namespace {

bool have_gui()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

const QString ADWAITA = QStringLiteral("Adwaita");

// The desktop's icon theme, its fallback and the folders that hold them, as the icon
// job takes them. Not every display plug-in says where the folders are (the offscreen
// one names none at all), and some name no theme: then hicolor, the freedesktop
// default, is the theme, and Adwaita the fallback for anything it lacks.
std::vector<std::string> desktop_icon_themes()
{
    QStringList paths = QIcon::themeSearchPaths();
    QStringList wanted{QDir::homePath() + "/.icons"};
    for (const QString &dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        wanted << dir + "/icons";
    for (const QString &dir : wanted)
        if (!paths.contains(dir) && QFileInfo(dir).isDir())
            paths << dir;
    const QString theme = QIcon::themeName(), fallback = QIcon::fallbackThemeName();
    std::vector<std::string> themes = {theme.isEmpty() ? "hicolor" : theme.toStdString(),
                                       fallback.isEmpty() || fallback == "hicolor"
                                           ? ADWAITA.toStdString()
                                           : fallback.toStdString()};
    for (const QString &path : paths) themes.push_back(path.toStdString());
    return themes;
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

QImage theme_icon_image(const std::vector<std::string> &args)
{
    if (args.size() < 5)
        return {};
    const QString name = QString::fromStdString(args[0]);
    // QString reads numbers the same in every locale, as QString::number wrote them.
    const int size = QString::fromStdString(args[1]).toInt();
    const qreal ratio = QString::fromStdString(args[2]).toDouble();
    if (size <= 0 || size > static_cast<int>(MAX_PICTURE_SIDE) || !(ratio > 0 && ratio <= 8))
        return {};
    QStringList paths;
    for (auto path = args.begin() + 5; path != args.end(); ++path)
        paths << QString::fromStdString(*path);
    QIcon::setThemeSearchPaths(paths);
    QIcon::setFallbackThemeName(QString::fromStdString(args[4]));
    const QString theme = QString::fromStdString(args[3]);
    QIcon::setThemeName(theme);

    QPixmap pixmap = render_icon(QIcon::fromTheme(name), size, ratio);
    if (pixmap.isNull() && theme != ADWAITA && QIcon::fallbackThemeName() != ADWAITA) {
        // The desktop names a fallback of its own, and neither theme has the icon: look
        // in Adwaita directly.
        QIcon::setThemeName(ADWAITA);
        pixmap = render_icon(QIcon::fromTheme(name), size, ratio);
    }
    return pixmap.toImage();
}

void theme_icon_later(const std::string &name, int size, QObject *owner,
                      std::function<void(const QPixmap &)> done)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : qGuiApp->devicePixelRatio();
    std::vector<std::string> args = {name, std::to_string(size),
                                     QString::number(ratio).toStdString()};
    for (std::string &theme : desktop_icon_themes()) args.push_back(std::move(theme));
    // Scaled up to fill the size, a long icon may be up to that much longer.
    const int most = static_cast<int>(std::ceil(size * ratio)) * 4;
    picture_later(PictureJob::theme_icon, args, QSize(most, most), owner,
                  [ratio, done = std::move(done)](const QImage &image) {
                      QPixmap pixmap = QPixmap::fromImage(image);
                      pixmap.setDevicePixelRatio(ratio);
                      done(pixmap);
                  });
}

void free_picture(Picture *picture)
{
    delete picture;
}

} // namespace platform
