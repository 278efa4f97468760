#include "platform/screenmode.h"

#include "platform/display.h"
#include "platform/qt_private.h"
#include "platform/translate.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <tuple>
#include <unordered_set>
#include <utility>

// Xlib's macros (None, Bool, Status, ...) would clash with Qt's names: included last.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace platform {

namespace {

// "59.94": the rate with two decimals, rounded as printf's "%.2f" does, whatever the
// locale. Empty for a rate that is not a finite positive number.
std::string rate_text(float rate)
{
    if (!(rate > 0.0f) || !std::isfinite(rate))
        return {};
    char text[64];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, rate, std::chars_format::fixed, 2);
    if (error != std::errc())
        return {};
    return std::string(text, end);
}

// The rate as rate_text shows it, as a number; 0 for no rate. Rates that read the same
// give the same number, and rates that read differently different ones.
double rounded_rate(float rate)
{
    const std::string text = rate_text(rate);
    double rounded = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), rounded).ec != std::errc())
        return 0;
    return rounded;
}

// Pixels of `depth` bits are stored in this many bits: 24 bits take 32.
int32 bits_per_pixel_of_depth(int depth)
{
    if (depth <= 0)
        return 0;
    if (depth <= 8)
        return 8;
    if (depth <= 16)
        return 16;
    return 32;
}

// --- X11: the RandR extension ---------------------------------------------------

#if QT_CONFIG(xcb)

template <auto Free> struct Freer {
    void operator()(auto *object) const { Free(object); }
};
using ScreenResources = std::unique_ptr<XRRScreenResources, Freer<XRRFreeScreenResources>>;
using OutputInfo = std::unique_ptr<XRROutputInfo, Freer<XRRFreeOutputInfo>>;

// Bits per pixel of the screen's pixmaps: 32 on a screen of depth 24.
int32 x_bits_per_pixel(Display *display, int screen)
{
    const int depth = DefaultDepth(display, screen);
    int count = 0;
    XPixmapFormatValues *formats = XListPixmapFormats(display, &count);
    int32 bits = 0;
    for (int i = 0; formats && i < count; ++i)
        if (formats[i].depth == depth)
            bits = formats[i].bits_per_pixel;
    if (formats)
        XFree(formats);
    return bits > 0 ? bits : bits_per_pixel_of_depth(depth);
}

DisplayMode x_mode(const XRRModeInfo &info, int32 depth)
{
    DisplayMode mode;
    mode.width = static_cast<int32>(info.width);
    mode.height = static_cast<int32>(info.height);
    mode.depth = depth;
    mode.clocks_per_line = info.hTotal;
    // A double-scanned mode draws every line twice. (An interlaced mode's frame holds
    // both fields, so its rate is that of whole pictures.)
    mode.lines_per_frame = info.vTotal * ((info.modeFlags & RR_DoubleScan) ? 2u : 1u);
    if (info.dotClock > 0)
        mode.clock_period_ns = static_cast<float>(1e9 / static_cast<double>(info.dotClock));
    return mode;
}

// The modes of the connected outputs, each once, in the outputs' order.
std::vector<DisplayMode> x_output_modes(Display *display, const XRRScreenResources &resources,
                                        int32 depth)
{
    std::vector<DisplayMode> modes;
    std::unordered_set<RRMode> seen, current;
    auto *res = const_cast<XRRScreenResources *>(&resources);
    for (int o = 0; o < resources.noutput; ++o) {
        const OutputInfo output(XRRGetOutputInfo(display, res, resources.outputs[o]));
        if (!output || output->connection != RR_Connected)
            continue;
        if (output->crtc != 0)
            if (XRRCrtcInfo *crtc = XRRGetCrtcInfo(display, res, output->crtc)) {
                current.insert(crtc->mode);
                XRRFreeCrtcInfo(crtc);
            }
        for (int m = 0; m < output->nmode; ++m) {
            const RRMode id = output->modes[m];
            if (!seen.insert(id).second)
                continue;
            for (int i = 0; i < resources.nmode; ++i)
                if (resources.modes[i].id == id) {
                    modes.push_back(x_mode(resources.modes[i], depth));
                    modes.back().current = current.count(id) > 0;
                    break;
                }
        }
    }
    return modes;
}

// The display connection of Qt's X11 platform; null on any other platform.
Display *qt_x_display()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    const auto *x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

// Null when the desktop is not X11, its server has no RandR 1.2, or no connected
// output has a mode.
std::optional<std::vector<DisplayMode>> xrandr_modes()
{
    Display *display = qt_x_display();
    if (!display)
        return std::nullopt;
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &event_base, &error_base) ||
        !XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 2))
        return std::nullopt;

    const int screen = DefaultScreen(display);
    const ::Window root = RootWindow(display, screen);
    const int32 depth = x_bits_per_pixel(display, screen);
    // What the server already knows is enough, and quick; only when that lists nothing
    // are the outputs probed, which can take a while.
    std::vector<DisplayMode> modes;
    if (const ScreenResources current{XRRGetScreenResourcesCurrent(display, root)})
        modes = x_output_modes(display, *current, depth);
    if (modes.empty())
        if (const ScreenResources probed{XRRGetScreenResources(display, root)})
            modes = x_output_modes(display, *probed, depth);
    if (modes.empty())
        return std::nullopt; // nothing connected: the screens will do
    return modes;
}

#else

std::optional<std::vector<DisplayMode>> xrandr_modes()
{
    return std::nullopt;
}

#endif

// --- Other desktops: the current mode of each screen ----------------------------

std::vector<DisplayMode> screen_modes()
{
    std::vector<DisplayMode> modes;
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return modes;
    for (const QScreen *screen : QGuiApplication::screens()) {
        DisplayMode mode;
        const qreal ratio = screen->devicePixelRatio();
        mode.width = static_cast<int32>(std::lround(screen->geometry().width() * ratio));
        mode.height = static_cast<int32>(std::lround(screen->geometry().height() * ratio));
        mode.depth = bits_per_pixel_of_depth(screen->depth());
        // One clock a line and one line a frame: the clock's period is the frame's.
        const qreal hz = screen->refreshRate();
        if (hz > 0 && std::isfinite(hz)) {
            mode.clocks_per_line = 1;
            mode.lines_per_frame = 1;
            mode.clock_period_ns = static_cast<float>(1e9 / hz);
        }
        mode.current = screen == QGuiApplication::primaryScreen();
        modes.push_back(mode);
    }
    return modes;
}

// --- The requester --------------------------------------------------------------

// Room for the rows without a scroll bar up to a dozen of them, and for the title.
void size_list(QListWidget *list, const QString &title)
{
    const QFontMetrics metrics = list->fontMetrics();
    int text_width = metrics.horizontalAdvance(QStringLiteral("8888x8888 32Bit 888.88 Hz"));
    for (int i = 0; i < list->count(); ++i)
        text_width = std::max(text_width, metrics.horizontalAdvance(list->item(i)->text()));
    const int frame = 2 * list->frameWidth();
    const int scroll_bar = list->verticalScrollBar()->sizeHint().width();
    const int padding = 4 * metrics.averageCharWidth();
    list->setMinimumWidth(std::max(text_width + padding + scroll_bar + frame,
                                   metrics.horizontalAdvance(title) + 3 * padding));
    // Whole rows only: a dozen at most, fewer for a shorter list.
    const int hinted = list->sizeHintForRow(0);
    const int row_height = hinted > 0 ? hinted : metrics.height() + 4;
    const int rows = std::clamp(list->count(), 1, 12);
    list->setFixedHeight(rows * row_height + frame);
}

struct Requester {
    std::unique_ptr<QDialog> dialog;
    QListWidget *list = nullptr;
    std::vector<DisplayMode> modes;
};

std::unique_ptr<Requester> make_requester(const ScreenModeRequest &request)
{
    auto requester = std::make_unique<Requester>();
    bool from_xrandr = false;
    requester->modes = offered_modes(desktop_display_modes(&from_xrandr), request);

    const auto in_window = [](const char *text) {
        return QString::fromUtf8(translated("Window", text));
    };
    const QString title = QString::fromUtf8(request.title ? request.title : "");
    requester->dialog = std::make_unique<QDialog>(window_widget(request.window));
    QDialog *dialog = requester->dialog.get();
    dialog->setObjectName(QStringLiteral("ScreenModeRequester"));
    dialog->setWindowTitle(title);
    dialog->setWindowModality(Qt::ApplicationModal); // the launcher's window sleeps
    auto *layout = new QVBoxLayout(dialog);

    auto *list = new QListWidget;
    list->setObjectName(QStringLiteral("ModeList"));
    list->setAccessibleName(in_window(KT_TR("Window", "Display modes")));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    for (const DisplayMode &mode : requester->modes)
        list->addItem(QString::fromStdString(display_mode_text(mode)));
    layout->addWidget(list);
    requester->list = list;

    QString note;
    if (requester->modes.empty())
        note = in_window(KT_TR("Window", "The desktop offers no display mode that fits."));
    else if (!from_xrandr)
        note = in_window(
            KT_TR("Window", "The desktop chooses the display mode; this is its current mode."));
    if (!note.isEmpty()) {
        auto *label = new QLabel(note);
        label->setObjectName(QStringLiteral("ModeNote"));
        layout->addWidget(label);
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QPushButton *ok = buttons->button(QDialogButtonBox::Ok);
    ok->setDefault(true); // Return in the list picks the current mode
    ok->setEnabled(!requester->modes.empty());
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, dialog, &QDialog::accept);

    size_list(list, title);
    list->setCurrentRow(initial_row(requester->modes, request));
    list->setFocus();
    return requester;
}

} // namespace

int initial_row(const std::vector<DisplayMode> &modes, const ScreenModeRequest &request)
{
    for (std::size_t i = 0; request.stored_rate > 0 && i < modes.size(); ++i)
        if (modes[i].width == request.stored_width && modes[i].height == request.stored_height &&
            rounded_rate(display_mode_rate(modes[i])) == rounded_rate(request.stored_rate))
            return static_cast<int>(i);
    for (std::size_t i = 0; i < modes.size(); ++i)
        if (modes[i].current)
            return static_cast<int>(i);
    int best = -1;
    std::int64_t best_distance = 0;
    for (std::size_t i = 0; i < modes.size(); ++i) {
        const std::int64_t dw = std::int64_t{modes[i].width} - request.initial_width;
        const std::int64_t dh = std::int64_t{modes[i].height} - request.initial_height;
        const std::int64_t distance = dw * dw + dh * dh;
        if (best < 0 || distance < best_distance) {
            best = static_cast<int>(i);
            best_distance = distance;
        }
    }
    return best;
}

float display_mode_rate(const DisplayMode &mode)
{
    if (mode.clocks_per_line == 0 || mode.lines_per_frame == 0 || mode.clock_period_ns == 0.0f)
        return 0.0f;
    float p = static_cast<float>(mode.clocks_per_line) * mode.clock_period_ns;
    p = p * static_cast<float>(mode.lines_per_frame);
    p = p / 1000000000.0f;
    const float rate = 1.0f / p;
    return rate > 0.0f && std::isfinite(rate) ? rate : 0.0f;
}

std::string display_mode_text(const DisplayMode &mode)
{
    std::string text = std::to_string(mode.width) + "x" + std::to_string(mode.height) + " " +
                       std::to_string(mode.depth) + "Bit";
    const std::string rate = rate_text(display_mode_rate(mode));
    if (!rate.empty())
        text += " " + rate + " Hz";
    return text;
}

std::vector<DisplayMode> desktop_display_modes(bool *from_xrandr)
{
    std::optional<std::vector<DisplayMode>> modes = xrandr_modes();
    if (from_xrandr)
        *from_xrandr = modes.has_value();
    return modes ? std::move(*modes) : screen_modes();
}

std::vector<DisplayMode> offered_modes(const std::vector<DisplayMode> &all,
                                       const ScreenModeRequest &request)
{
    using Key = std::tuple<int32, int32, double>; // width, height, rate to two decimals
    std::vector<std::pair<Key, DisplayMode>> keyed;
    for (const DisplayMode &mode : all) {
        if (mode.width < request.min_width || mode.height < request.min_height)
            continue;
        if (mode.depth < request.min_depth || mode.depth > request.max_depth)
            continue;
        keyed.emplace_back(Key{mode.width, mode.height, rounded_rate(display_mode_rate(mode))},
                           mode);
    }
    // Largest first; among equals the first one given stays, the others go.
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto &a, const auto &b) { return a.first > b.first; });
    for (auto group = keyed.begin(); group != keyed.end();) {
        const auto end = std::find_if(group, keyed.end(),
                                      [&](const auto &e) { return e.first != group->first; });
        group->second.current =
            std::any_of(group, end, [](const auto &e) { return e.second.current; });
        group = end;
    }
    keyed.erase(std::unique(keyed.begin(), keyed.end(),
                            [](const auto &a, const auto &b) { return a.first == b.first; }),
                keyed.end());
    std::vector<DisplayMode> offered;
    offered.reserve(keyed.size());
    for (const auto &entry : keyed) offered.push_back(entry.second);
    return offered;
}

std::optional<DisplayMode> request_screen_mode(const ScreenModeRequest &request)
{
    if (!display_connected() || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return std::nullopt;

    std::unique_ptr<Requester> requester;
    try {
        requester = make_requester(request);
    } catch (const std::bad_alloc &) {
        return std::nullopt; // as if cancelled
    }
    if (requester->dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    const int row = requester->list->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= requester->modes.size())
        return std::nullopt;
    return requester->modes[static_cast<std::size_t>(row)];
}

} // namespace platform
