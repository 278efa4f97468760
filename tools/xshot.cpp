// Saves a screenshot of the X display named by DISPLAY as a PNG file: the whole
// screen, or the window whose id is given.
//   xshot FILE.png [WINDOW-ID]
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: xshot FILE.png [WINDOW-ID]\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 1;
    const WId window = argc > 2 ? static_cast<WId>(std::strtoull(argv[2], nullptr, 0)) : 0;
    return screen->grabWindow(window).save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
