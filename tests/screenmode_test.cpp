// Display modes: their rates, the list the requester offers, the requester itself on
// Qt's offscreen display, and the modes of a real X server.
#include "platform/screenmode.h"

#include "platform/display.h"
#include "platform/qt_private.h"
#include "platform/window.h"
#include "test_support.h"
#include "util.h"
#include "xorg_dummy.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

using platform::DisplayMode;
using platform::ScreenModeRequest;

// A mode of `width` x `height` with a pixel clock of `mhz` and the given totals.
DisplayMode timed(int32 width, int32 height, int32 depth, double mhz, uint32 clocks, uint32 lines)
{
    return {width, height, depth, clocks, lines, static_cast<float>(1e3 / mhz)};
}

std::string two_decimals(float rate)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(rate));
    return text;
}

std::vector<std::string> texts(const std::vector<DisplayMode> &modes)
{
    std::vector<std::string> result;
    for (const DisplayMode &mode : modes) result.push_back(platform::display_mode_text(mode));
    return result;
}

// --- The refresh rate ------------------------------------------------------------

TEST(DisplayModeRate, ModelinesGiveTheirRatesWithTwoDecimals)
{
    EXPECT_EQ(two_decimals(platform::display_mode_rate(timed(1920, 1080, 32, 148.352, 2200, 1125))),
              "59.94");
    EXPECT_EQ(two_decimals(platform::display_mode_rate(timed(640, 480, 32, 25.175, 800, 525))),
              "59.94");
    EXPECT_EQ(two_decimals(platform::display_mode_rate(timed(1024, 768, 32, 65.0, 1344, 806))),
              "60.00");
    EXPECT_EQ(two_decimals(platform::display_mode_rate(timed(800, 600, 16, 56.3, 1048, 631))),
              "85.14");
    // A mode of 227 clocks of 280 ns a line and 312 lines: about 50.4 Hz.
    EXPECT_EQ(two_decimals(platform::display_mode_rate({640, 480, 16, 227, 312, 280.0f})), "50.43");
}

TEST(DisplayModeRate, MissingTimingsGiveNoRate)
{
    const DisplayMode full = timed(1920, 1080, 32, 148.352, 2200, 1125);
    ASSERT_GT(platform::display_mode_rate(full), 0.0f);
    DisplayMode mode = full;
    mode.clocks_per_line = 0;
    EXPECT_EQ(platform::display_mode_rate(mode), 0.0f);
    mode = full;
    mode.lines_per_frame = 0;
    EXPECT_EQ(platform::display_mode_rate(mode), 0.0f);
    mode = full;
    mode.clock_period_ns = 0.0f;
    EXPECT_EQ(platform::display_mode_rate(mode), 0.0f);
    EXPECT_EQ(platform::display_mode_rate(DisplayMode{}), 0.0f);
}

TEST(DisplayModeRate, RatesThatAreNotFinitePositiveNumbersGiveNoRate)
{
    const float periods[] = {
        std::numeric_limits<float>::quiet_NaN(),
        std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(),
        -6.74f,                                   // a negative period
        std::numeric_limits<float>::max(),        // the frame lasts for ever: rate 0
        std::numeric_limits<float>::denorm_min(), // the frame takes no time: p is 0
        1e-38f,                                   // 4e40 Hz does not fit a float
    };
    for (const float period : periods) {
        const float rate = platform::display_mode_rate({1920, 1080, 32, 2200, 1125, period});
        EXPECT_EQ(rate, 0.0f) << "clock period " << period << " ns";
    }
    // The largest totals with a sane clock still give a small positive rate.
    const float slow = platform::display_mode_rate({1, 1, 32, 65535, 65535, 1.0f});
    EXPECT_GT(slow, 0.0f);
    EXPECT_TRUE(std::isfinite(slow));
}

// The rate as computed in single precision, step by step in the launcher's order.
float in_order(const DisplayMode &m)
{
    float p = static_cast<float>(m.clocks_per_line) * m.clock_period_ns;
    p = p * static_cast<float>(m.lines_per_frame);
    p = p / 1000000000.0f;
    return 1.0f / p;
}

TEST(DisplayModeRate, IsComputedInSinglePrecisionInItsOrder)
{
    // For these modes other orders or precisions give other numbers.
    const DisplayMode xga = timed(1024, 768, 32, 65.0, 1344, 806);
    const DisplayMode hd = timed(1920, 1080, 32, 148.5, 2200, 1125);
    const DisplayMode vga = timed(640, 480, 32, 25.175, 800, 525);

    const float xga_lines_first =
        1.0f / (static_cast<float>(xga.clocks_per_line) * static_cast<float>(xga.lines_per_frame) *
                xga.clock_period_ns / 1000000000.0f);
    ASSERT_NE(in_order(xga), xga_lines_first);
    const float hd_double = static_cast<float>(
        1e9 / (static_cast<double>(hd.clocks_per_line) * hd.clock_period_ns * hd.lines_per_frame));
    ASSERT_NE(in_order(hd), hd_double);
    const float vga_double = static_cast<float>(1e9 / (static_cast<double>(vga.clocks_per_line) *
                                                       vga.clock_period_ns * vga.lines_per_frame));
    ASSERT_NE(in_order(vga), vga_double);

    for (const DisplayMode &mode : {xga, hd, vga}) {
        EXPECT_EQ(platform::display_mode_rate(mode), in_order(mode))
            << mode.width << "x" << mode.height;
    }
    EXPECT_LT(platform::display_mode_rate(hd), 60.0f); // 59.9999962, not 60
}

TEST(DisplayModeText, ReadsLikeTheRequesterRows)
{
    EXPECT_EQ(platform::display_mode_text(timed(1920, 1080, 32, 148.352, 2200, 1125)),
              "1920x1080 32Bit 59.94 Hz");
    EXPECT_EQ(platform::display_mode_text({1920, 1080, 32, 0, 0, 0.0f}), "1920x1080 32Bit");
    EXPECT_EQ(platform::display_mode_text(
                  {800, 600, 16, 2200, 1125, std::numeric_limits<float>::quiet_NaN()}),
              "800x600 16Bit");
    // Two decimals, rounded like "%.2f", with a decimal point in any locale.
    const DisplayMode hd = timed(1920, 1080, 32, 148.5, 2200, 1125);
    EXPECT_EQ(platform::display_mode_text(hd), "1920x1080 32Bit 60.00 Hz");
}

// --- The modes offered ----------------------------------------------------------

TEST(OfferedModes, TooSmallModesAndDepthsOutOfRangeAreLeftOut)
{
    const ScreenModeRequest request; // at least 640x480, 16 to 32 bits
    const std::vector<DisplayMode> all = {
        timed(639, 480, 32, 25.175, 800, 525), timed(640, 479, 32, 25.175, 800, 525),
        timed(400, 300, 32, 12.5, 512, 320),   timed(640, 480, 8, 25.175, 800, 525),
        timed(800, 600, 15, 40.0, 1056, 628),  timed(800, 600, 33, 40.0, 1056, 628),
        timed(640, 480, 16, 25.175, 800, 525), timed(640, 480, 32, 31.5, 832, 520),
        timed(1024, 768, 24, 65.0, 1344, 806), timed(-1024, 768, 32, 65.0, 1344, 806),
    };
    EXPECT_EQ(texts(platform::offered_modes(all, request)),
              (std::vector<std::string>{"1024x768 24Bit 60.00 Hz", "640x480 32Bit 72.81 Hz",
                                        "640x480 16Bit 59.94 Hz"}));

    ScreenModeRequest narrow;
    narrow.min_width = 1024;
    narrow.min_height = 700;
    narrow.min_depth = 32;
    narrow.max_depth = 32;
    EXPECT_TRUE(platform::offered_modes(all, narrow).empty());
    narrow.min_depth = 24;
    EXPECT_EQ(texts(platform::offered_modes(all, narrow)),
              std::vector<std::string>{"1024x768 24Bit 60.00 Hz"});
    EXPECT_TRUE(platform::offered_modes({}, request).empty());
}

TEST(OfferedModes, ModesThatReadTheSameAreOfferedOnce)
{
    const DisplayMode first = timed(1920, 1080, 32, 148.352, 2200, 1125); // 59.94
    const DisplayMode same = timed(1920, 1080, 32, 148.35, 2200, 1125);   // 59.939...
    const DisplayMode other_depth = timed(1920, 1080, 16, 148.352, 2200, 1125);
    const DisplayMode faster = timed(1920, 1080, 32, 148.5, 2200, 1125); // 60.00
    ASSERT_NE(first.clock_period_ns, same.clock_period_ns);
    ASSERT_EQ(two_decimals(platform::display_mode_rate(same)), "59.94");

    const auto offered =
        platform::offered_modes({first, faster, same, other_depth, faster}, ScreenModeRequest{});
    ASSERT_EQ(texts(offered),
              (std::vector<std::string>{"1920x1080 32Bit 60.00 Hz", "1920x1080 32Bit 59.94 Hz"}));
    EXPECT_EQ(offered[1].clock_period_ns, first.clock_period_ns) << "the first given stays";

    // Without a rate, modes of one size are one.
    const DisplayMode untimed{1280, 1024, 32, 0, 0, 0.0f};
    DisplayMode untimed_too = untimed;
    untimed_too.lines_per_frame = 1066;
    EXPECT_EQ(texts(platform::offered_modes({untimed, untimed_too}, ScreenModeRequest{})),
              std::vector<std::string>{"1280x1024 32Bit"});
}

TEST(OfferedModes, LargestFirstByWidthThenHeightThenRate)
{
    const std::vector<DisplayMode> all = {
        timed(800, 600, 32, 40.0, 1056, 628),       timed(1280, 1024, 32, 108.0, 1688, 1066),
        timed(1280, 960, 32, 148.5, 1728, 1011),    {1280, 1024, 32, 0, 0, 0.0f},
        timed(1920, 1080, 32, 148.352, 2200, 1125), timed(1280, 1024, 32, 135.0, 1688, 1066),
        timed(800, 600, 32, 56.3, 1048, 631),       timed(1280, 960, 32, 108.0, 1800, 1000),
        timed(1024, 768, 32, 65.0, 1344, 806),      timed(1400, 900, 32, 103.5, 1848, 934),
    };
    EXPECT_EQ(texts(platform::offered_modes(all, ScreenModeRequest{})),
              (std::vector<std::string>{
                  "1920x1080 32Bit 59.94 Hz",
                  "1400x900 32Bit 59.96 Hz",
                  "1280x1024 32Bit 75.02 Hz",
                  "1280x1024 32Bit 60.02 Hz",
                  "1280x1024 32Bit",
                  "1280x960 32Bit 85.00 Hz",
                  "1280x960 32Bit 60.00 Hz",
                  "1024x768 32Bit 60.00 Hz",
                  "800x600 32Bit 85.14 Hz",
                  "800x600 32Bit 60.32 Hz",
              }));
}

// --- The requester on Qt's offscreen display ---------------------------------------

// Six offscreen screens side by side, from 1920x1080 down to 320x240.
std::string screens_json()
{
    const int sizes[][2] = {{1920, 1080}, {1280, 1024}, {1024, 768},
                            {800, 600},   {640, 480},   {320, 240}};
    std::string json = R"({"screens": [)";
    int x = 0;
    for (const auto &size : sizes) {
        if (x > 0)
            json += ", ";
        json += R"({"name": "s)" + std::to_string(x) + R"(", "x": )" + std::to_string(x) +
                R"(, "y": 0, "width": )" + std::to_string(size[0]) + R"(, "height": )" +
                std::to_string(size[1]) + R"(, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1})";
        x += size[0];
    }
    return json + "]}";
}

// Runs request_screen_mode; once the requester is up and active, `act` gets it. A
// requester that does not come up, or does not go away, fails the test.
std::optional<DisplayMode> run_requester(const ScreenModeRequest &request,
                                         const std::function<void(QDialog &, QListWidget &)> &act)
{
    bool acted = false;
    QElapsedTimer clock;
    clock.start();
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!acted && dialog && QApplication::activeWindow() == dialog) {
            acted = true;
            EXPECT_EQ(dialog->objectName(), "ScreenModeRequester");
            auto *list = dialog->findChild<QListWidget *>("ModeList");
            if (!list) {
                ADD_FAILURE() << "the requester has no mode list";
                dialog->reject();
                return;
            }
            act(*dialog, *list);
            return;
        }
        if (clock.elapsed() > 20000) {
            ADD_FAILURE() << (acted ? "the requester did not close" : "no requester came up");
            timer.stop();
            if (dialog)
                dialog->reject();
        }
    });
    timer.start();
    const std::optional<DisplayMode> result = platform::request_screen_mode(request);
    timer.stop();
    EXPECT_TRUE(acted) << "the requester was not shown";
    return result;
}

std::vector<std::string> rows(const QListWidget &list)
{
    std::vector<std::string> result;
    for (int i = 0; i < list.count(); ++i) result.push_back(list.item(i)->text().toStdString());
    return result;
}

std::string current_row(const QListWidget &list)
{
    const QListWidgetItem *item = list.currentItem();
    return item ? item->text().toStdString() : std::string("(none)");
}

class RequesterTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        write_file(dir / "screens.json", screens_json());
        const std::string platform = "offscreen:configfile=" + (dir / "screens.json").string();
        setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
        ASSERT_TRUE(getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition));
    }
    void TearDown() override
    {
        platform::testing::set_screen_mode_hook(nullptr);
        if (window_object)
            platform::DisposeObject(window_object);
        dropLibIFace(&IntuitionBase, &IIntuition);
        unsetenv("QT_SCALE_FACTOR");
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    // Opens a launcher window to put the requester over.
    platform::Window *open_window()
    {
        platform::Object *group = platform::NewGroup({}, {{platform::NewSpace()}});
        window_object = platform::NewWindowObject({"KTLaunch", nullptr, group});
        EXPECT_NE(window_object, nullptr);
        platform::Window *window = platform::WindowOpen(window_object);
        EXPECT_NE(window, nullptr);
        return window;
    }

    static ScreenModeRequest request(platform::Window *window = nullptr)
    {
        ScreenModeRequest r;
        r.title = "Pick a screenmode";
        r.window = window;
        return r;
    }

    TempDir dir;
    platform::Object *window_object = nullptr;
};

TEST_F(RequesterTest, WithoutXrandrTheModesAreTheScreensCurrentOnes)
{
    bool from_xrandr = true;
    const std::vector<DisplayMode> modes = platform::desktop_display_modes(&from_xrandr);
    EXPECT_FALSE(from_xrandr);
    const QList<QScreen *> screens = QGuiApplication::screens();
    ASSERT_EQ(modes.size(), static_cast<std::size_t>(screens.size()));
    ASSERT_EQ(modes.size(), 6u);
    for (std::size_t i = 0; i < modes.size(); ++i) {
        const QScreen *screen = screens[static_cast<qsizetype>(i)];
        EXPECT_EQ(modes[i].width, screen->geometry().width());
        EXPECT_EQ(modes[i].height, screen->geometry().height());
        EXPECT_EQ(modes[i].depth, screen->depth() > 16 ? 32 : 16);
        EXPECT_NEAR(platform::display_mode_rate(modes[i]), screen->refreshRate(),
                    screen->refreshRate() * 1e-6);
    }
    EXPECT_EQ(modes.front().width, 1920);
    EXPECT_EQ(modes.back().height, 240);
}

TEST_F(RequesterTest, ScreenModesAreInDevicePixels)
{
    dropLibIFace(&IntuitionBase, &IIntuition);
    setenv("QT_SCALE_FACTOR", "2", 1);
    ASSERT_TRUE(getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition));
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry().width(), 960);
    const std::vector<DisplayMode> modes = platform::desktop_display_modes();
    ASSERT_FALSE(modes.empty());
    EXPECT_EQ(modes.front().width, 1920);
    EXPECT_EQ(modes.front().height, 1080);
}

TEST_F(RequesterTest, ListsTheOfferedModesOverTheLaunchersWindow)
{
    platform::Window *window = open_window();
    ASSERT_NE(platform::window_widget(window), nullptr);
    const ScreenModeRequest r = request(window);
    const std::optional<DisplayMode> chosen = run_requester(r, [&](QDialog &dialog,
                                                                   QListWidget &list) {
        EXPECT_EQ(dialog.windowTitle(), "Pick a screenmode");
        EXPECT_EQ(dialog.parentWidget(), platform::window_widget(window));
        EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal);
        EXPECT_TRUE(list.hasFocus());
        EXPECT_EQ(rows(list),
                  (std::vector<std::string>{"1920x1080 32Bit 60.00 Hz", "1280x1024 32Bit 60.00 Hz",
                                            "1024x768 32Bit 60.00 Hz", "800x600 32Bit 60.00 Hz",
                                            "640x480 32Bit 60.00 Hz"}));
        EXPECT_EQ(current_row(list), "640x480 32Bit 60.00 Hz");
        const auto *note = dialog.findChild<QLabel *>("ModeNote");
        ASSERT_NE(note, nullptr);
        EXPECT_TRUE(note->isVisible());
        EXPECT_EQ(note->text().toStdString(),
                  "The desktop chooses the display mode; this is its current mode.");
        auto *buttons = dialog.findChild<QDialogButtonBox *>();
        ASSERT_NE(buttons, nullptr);
        EXPECT_TRUE(buttons->button(QDialogButtonBox::Ok)->isEnabled());
        EXPECT_NE(buttons->button(QDialogButtonBox::Cancel), nullptr);
        buttons->button(QDialogButtonBox::Cancel)->click();
    });
    EXPECT_FALSE(chosen.has_value());
}

TEST_F(RequesterTest, ArrowKeysAndReturnPickAMode)
{
    const std::optional<DisplayMode> chosen =
        run_requester(request(open_window()), [](QDialog &dialog, QListWidget &list) {
            QWindow *keyboard = dialog.windowHandle();
            QTest::keyClick(keyboard, Qt::Key_Up);
            QTest::keyClick(keyboard, Qt::Key_Up);
            QTest::keyClick(keyboard, Qt::Key_Up);
            QTest::keyClick(keyboard, Qt::Key_Down);
            EXPECT_EQ(current_row(list), "1024x768 32Bit 60.00 Hz");
            QTest::keyClick(keyboard, Qt::Key_Return);
        });
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->width, 1024);
    EXPECT_EQ(chosen->height, 768);
    EXPECT_EQ(chosen->depth, 32);
    EXPECT_EQ(two_decimals(platform::display_mode_rate(*chosen)), "60.00");
}

TEST_F(RequesterTest, ReturnAtOnceTakesTheModeItStartsOn)
{
    const auto chosen = run_requester(request(), [](QDialog &dialog, QListWidget &) {
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Return);
    });
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(platform::display_mode_text(*chosen), "640x480 32Bit 60.00 Hz");
}

TEST_F(RequesterTest, EscapeCancels)
{
    const auto chosen = run_requester(request(open_window()), [](QDialog &dialog, QListWidget &) {
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Up);
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape);
    });
    EXPECT_FALSE(chosen.has_value());
}

TEST_F(RequesterTest, StartsOnTheNearestModeAndNotOnTheOneChosenBefore)
{
    const auto first = run_requester(request(), [](QDialog &dialog, QListWidget &list) {
        EXPECT_EQ(current_row(list), "640x480 32Bit 60.00 Hz");
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Home);
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Enter);
    });
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->width, 1920);
    run_requester(request(), [](QDialog &dialog, QListWidget &list) {
        EXPECT_EQ(current_row(list), "640x480 32Bit 60.00 Hz");
        dialog.reject();
    });

    ScreenModeRequest larger = request();
    larger.initial_width = 1000;
    larger.initial_height = 700;
    run_requester(larger, [](QDialog &dialog, QListWidget &list) {
        EXPECT_EQ(current_row(list), "1024x768 32Bit 60.00 Hz");
        dialog.reject();
    });
    // Without a 640x480 mode, the nearest one.
    ScreenModeRequest no_vga = request();
    no_vga.min_width = 800;
    no_vga.min_height = 600;
    run_requester(no_vga, [](QDialog &dialog, QListWidget &list) {
        EXPECT_EQ(current_row(list), "800x600 32Bit 60.00 Hz");
        dialog.reject();
    });
}

TEST_F(RequesterTest, NothingToOfferLeavesOnlyCancel)
{
    ScreenModeRequest r = request();
    r.min_width = 4000;
    const auto chosen = run_requester(r, [](QDialog &dialog, QListWidget &list) {
        EXPECT_EQ(list.count(), 0);
        auto *buttons = dialog.findChild<QDialogButtonBox *>();
        ASSERT_NE(buttons, nullptr);
        EXPECT_FALSE(buttons->button(QDialogButtonBox::Ok)->isEnabled());
        const auto *note = dialog.findChild<QLabel *>("ModeNote");
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(note->text().toStdString(), "The desktop offers no display mode that fits.");
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Return); // nothing to pick
        EXPECT_TRUE(dialog.isVisible());
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape);
    });
    EXPECT_FALSE(chosen.has_value());
}

// The launcher's window takes no input while the requester is open.
TEST_F(RequesterTest, TheLaunchersWindowSleepsMeanwhile)
{
    platform::Window *window = open_window();
    QWidget *widget = platform::window_widget(window);
    ASSERT_NE(widget, nullptr);
    int inputs = 0;
    struct Counter : QObject {
        int *count;
        explicit Counter(int *c) : count(c) {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress)
                ++*count;
            return false;
        }
    } counter(&inputs);
    widget->installEventFilter(&counter);
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == widget; }, 5000));
    QTest::keyClick(widget->windowHandle(), Qt::Key_A);
    QTest::mouseClick(widget->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(inputs, 2) << "the window takes input when no requester is open";

    inputs = 0;
    run_requester(request(window), [&](QDialog &dialog, QListWidget &) {
        QTest::keyClick(widget->windowHandle(), Qt::Key_A);
        QTest::mouseClick(widget->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
        dialog.reject();
    });
    EXPECT_EQ(inputs, 0);
    widget->removeEventFilter(&counter);
}

// Every row is readable in full, without scrolling sideways, at scale 1 and 2.
TEST_F(RequesterTest, RowsAreReadableAlsoAtScaleFactorTwo)
{
    for (const char *scale : {"1", "2"}) {
        dropLibIFace(&IntuitionBase, &IIntuition);
        setenv("QT_SCALE_FACTOR", scale, 1);
        ASSERT_TRUE(getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition));
        run_requester(request(), [&](QDialog &dialog, QListWidget &list) {
            ASSERT_EQ(list.count(), 5);
            const QFontMetrics metrics = list.fontMetrics();
            for (int i = 0; i < list.count(); ++i) {
                const QRect row = list.visualItemRect(list.item(i));
                EXPECT_TRUE(list.viewport()->rect().contains(row))
                    << "scale " << scale << ": row " << i << " is not wholly visible";
                EXPECT_GE(row.width(), metrics.horizontalAdvance(list.item(i)->text()))
                    << "scale " << scale;
                EXPECT_GE(row.height(), metrics.height()) << "scale " << scale;
            }
            const QRect screen = dialog.screen()->availableGeometry();
            EXPECT_TRUE(screen.contains(dialog.frameGeometry()))
                << "scale " << scale << ": the requester does not fit its screen";
            dialog.reject();
        });
    }
}

TEST_F(RequesterTest, TheHookAnswersInsteadOfTheRequester)
{
    std::vector<std::string> titles;
    platform::testing::set_screen_mode_hook([&](const ScreenModeRequest &r) {
        titles.emplace_back(r.title);
        EXPECT_EQ(r.min_depth, 16);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        return std::optional<DisplayMode>(DisplayMode{800, 600, 16, 1056, 628, 25.0f});
    });
    const auto chosen = platform::request_screen_mode(request());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(platform::display_mode_text(*chosen), "800x600 16Bit 60.32 Hz");
    EXPECT_EQ(titles, std::vector<std::string>{"Pick a screenmode"});

    platform::testing::set_screen_mode_hook([](const ScreenModeRequest &) { return std::nullopt; });
    EXPECT_FALSE(platform::request_screen_mode(request()).has_value());
    platform::testing::set_screen_mode_hook(nullptr);
}

TEST(RequesterWithoutDisplay, CannotBeMadeAndCountsAsCancel)
{
    ASSERT_FALSE(platform::display_connected());
    bool from_xrandr = true;
    EXPECT_TRUE(platform::desktop_display_modes(&from_xrandr).empty());
    EXPECT_FALSE(from_xrandr);
    ScreenModeRequest r;
    r.title = "Pick a screenmode";
    EXPECT_FALSE(platform::request_screen_mode(r).has_value());
}

// --- A real X server with real timings ---------------------------------------------

class XServerTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(xorg.running()) << xorg.error();
        setenv("DISPLAY", xorg.display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        ASSERT_TRUE(getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition));
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    }
    void TearDown() override
    {
        if (window_object)
            platform::DisposeObject(window_object);
        dropLibIFace(&IntuitionBase, &IIntuition);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        unsetenv("DISPLAY");
    }

    XorgDummy xorg;
    platform::Object *window_object = nullptr;
};

const DisplayMode *find_mode(const std::vector<DisplayMode> &modes, int32 width, int32 height,
                             const std::string &rate)
{
    for (const DisplayMode &mode : modes)
        if (mode.width == width && mode.height == height &&
            two_decimals(platform::display_mode_rate(mode)) == rate)
            return &mode;
    return nullptr;
}

TEST_F(XServerTest, ModesComeFromXrandrWithTheirTimings)
{
    bool from_xrandr = false;
    const std::vector<DisplayMode> modes = platform::desktop_display_modes(&from_xrandr);
    EXPECT_TRUE(from_xrandr);

    const DisplayMode *hd = find_mode(modes, 1920, 1080, "59.94");
    ASSERT_NE(hd, nullptr) << ::testing::PrintToString(texts(modes));
    EXPECT_EQ(hd->depth, 32); // a depth-24 screen stores 32 bits a pixel
    EXPECT_EQ(hd->clocks_per_line, 2200u);
    EXPECT_EQ(hd->lines_per_frame, 1125u);
    EXPECT_NEAR(hd->clock_period_ns, 1e3 / 148.352, 1e-5);
    EXPECT_EQ(platform::display_mode_text(*hd), "1920x1080 32Bit 59.94 Hz");

    const DisplayMode *xga = find_mode(modes, 1024, 768, "60.00");
    ASSERT_NE(xga, nullptr);
    EXPECT_EQ(xga->clocks_per_line, 1344u);
    EXPECT_EQ(xga->lines_per_frame, 806u);
    ASSERT_NE(find_mode(modes, 640, 480, "59.94"), nullptr);
    ASSERT_NE(find_mode(modes, 400, 300, "76.29"), nullptr);
    for (const DisplayMode &mode : modes) EXPECT_EQ(mode.depth, 32);

    const std::vector<DisplayMode> offered = platform::offered_modes(modes, ScreenModeRequest{});
    EXPECT_EQ(find_mode(offered, 400, 300, "76.29"), nullptr);
    EXPECT_NE(find_mode(offered, 1920, 1080, "59.94"), nullptr);
    EXPECT_NE(find_mode(offered, 640, 480, "59.94"), nullptr);
    for (const DisplayMode &mode : offered) {
        EXPECT_GE(mode.width, 640);
        EXPECT_GE(mode.height, 480);
    }
    EXPECT_EQ(texts(offered).front(), "1920x1080 32Bit 59.94 Hz");
    EXPECT_EQ(texts(offered).back(), "640x480 32Bit 59.94 Hz");
}

// The whole way a player goes: the requester over the launcher's window on the X
// server, the keys typed through the server's keyboard.
class XServerKeyboardTest : public XServerTest {
  protected:
    void SetUp() override
    {
        XServerTest::SetUp();
        if (HasFatalFailure())
            return;
        xdotool = QStandardPaths::findExecutable("xdotool");
        ASSERT_FALSE(xdotool.isEmpty()) << "xdotool is missing (scripts/setup.sh installs it)";
        platform::Object *group = platform::NewGroup({}, {{platform::NewSpace()}});
        window_object = platform::NewWindowObject({"KTLaunch", nullptr, group});
        window = platform::WindowOpen(window_object);
        ASSERT_NE(window, nullptr);
    }

    // Shows the requester and types `keys` (xdotool key names) once it has the focus.
    std::optional<DisplayMode> type_into_requester(const QStringList &keys,
                                                   std::string *start_row = nullptr)
    {
        QProcess typist;
        ScreenModeRequest r;
        r.title = "Pick a screenmode";
        r.window = window;
        const auto chosen = run_requester(r, [&](QDialog &, QListWidget &list) {
            if (!QTest::qWaitFor([&] { return list.hasFocus(); }, 5000))
                ADD_FAILURE() << "the list does not have the keyboard";
            if (start_row)
                *start_row = current_row(list);
            typist.start(xdotool, QStringList{"key", "--delay", "50"} + keys);
        });
        EXPECT_TRUE(typist.waitForFinished(10000));
        EXPECT_EQ(typist.exitCode(), 0) << typist.readAllStandardError().toStdString();
        return chosen;
    }

    QString xdotool;
    platform::Window *window = nullptr;
};

TEST_F(XServerKeyboardTest, UpUpReturnPicksTheSecondModeAbove640x480)
{
    const std::vector<DisplayMode> offered =
        platform::offered_modes(platform::desktop_display_modes(), ScreenModeRequest{});
    const auto vga = std::find_if(offered.begin(), offered.end(), [](const DisplayMode &m) {
        return m.width == 640 && m.height == 480;
    });
    ASSERT_NE(vga, offered.end());
    ASSERT_GE(vga - offered.begin(), 2);
    const DisplayMode expected = *(vga - 2);

    std::string start_row;
    const auto chosen = type_into_requester({"Up", "Up", "Return"}, &start_row);
    EXPECT_EQ(start_row, "640x480 32Bit 59.94 Hz");
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(platform::display_mode_text(*chosen), platform::display_mode_text(expected));
    EXPECT_EQ(chosen->clocks_per_line, expected.clocks_per_line);
    EXPECT_EQ(chosen->lines_per_frame, expected.lines_per_frame);
}

TEST_F(XServerKeyboardTest, HomeReturnPicks1920x1080AndEscapeCancels)
{
    const auto chosen = type_into_requester({"Home", "Return"});
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(platform::display_mode_text(*chosen), "1920x1080 32Bit 59.94 Hz");
    EXPECT_FALSE(type_into_requester({"Up", "Escape"}).has_value());
}

} // namespace
