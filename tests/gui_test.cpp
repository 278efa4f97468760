// The preferences window on Qt's offscreen display: what it shows, and what it stores back.
#include "window_support.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <sys/stat.h>

namespace {

using namespace platform;
namespace pt = platform::testing;

class GuiTest : public WindowTest {
  protected:
    // The render mode and display mode shown; a screen mode can be picked only for Vexel.
    std::string shown()
    {
        const std::string mode = widget<QComboBox>(OID_GFX_MODE)->currentText().toStdString();
        EXPECT_EQ(widget<QWidget>(OID_SCREENSEL)->isEnabled(), mode == "Vexel");
        return mode + ": " + widget<QLineEdit>(OID_SCREENSTRING)->text().toStdString();
    }
    // What "_Save & Quit" would leave in the file.
    std::string saved()
    {
        set_config_from_gui();
        return read_back();
    }
};

TEST_F(GuiTest, LanguageRowOffersTheInstalledPacksAndPreselectsTheStoredOrUsersLanguage)
{
    const char *cases[][5] = {
        // packs, LANG, stored language (null: no file), languages offered, chosen and stored back
        {"", "de_DE.UTF-8", nullptr, "", nullptr},
        {"DE", "fr_FR.UTF-8", nullptr, "english german", "english"},
        {"FR", "fr_FR.UTF-8", nullptr, "english french", "french"},
        {"DE FR", "de_AT.UTF-8", "", "english german french", "german"},        // empty: none
        {"FR", "fr_FR.UTF-8", "german", "english french", "english"},           // not installed
        {"DE FR", "fr_FR.UTF-8", "German", "english german french", "english"}, // words exact
        {"", "de_DE.UTF-8", "klingon", "", "klingon"}}; // kept without a chooser
    for (const auto &[packs, lang, stored, offered, language] : cases) {
        SCOPED_TRACE(std::string(packs) + " " + lang + " " + (stored ? stored : "-"));
        const std::string file = "[Config]\nLanguage = " + std::string(stored ? stored : "") + "\n";
        ASSERT_TRUE(open_window(stored ? file.c_str() : nullptr, packs, lang));
        QStringList items;
        for (int i = 0; obj[OID_LANGUAGE] && i < widget<QComboBox>(OID_LANGUAGE)->count(); ++i)
            items << widget<QComboBox>(OID_LANGUAGE)->itemText(i);
        EXPECT_EQ(items.join(' ').toStdString(), offered);
        EXPECT_EQ(germanIndx, items.indexOf("german"));
        EXPECT_EQ(frenchIndx, items.indexOf("french"));
        const std::string line =
            language ? "\tLanguage = " + std::string(language) + "\n" : "Language";
        EXPECT_EQ(saved().find(line) != std::string::npos, language != nullptr);
    }
}

// Shown as the game reads them, stored back where they stand; a new language goes last.
TEST_F(GuiTest, TheSixSettingsAreShownAndStoredBackWhereTheyStand)
{
    ASSERT_TRUE(open_window("[Config]\nShowFPS = 1\nVideocard = vexel\nSyncToScreen = 2\n"
                            "Windowed = yes\nOther = kept\n[Warp3D]\nSize = 800x600/32:59.94\n",
                            "DE", "de_DE.UTF-8"));
    EXPECT_EQ(shown(), "Vexel: 800x600 32Bit 59.94 Hz");
    EXPECT_EQ(saved(),
              "[Config]\n\n\tShowFPS = 1\n\tVideocard = Vexel\n\tSyncToScreen = 1\n\tWindowed = 0\n"
              "\tOther = kept\n\tLanguage = german\n\n[Warp3D]\n\n\tSize = 800x600/32:59.94\n");
    // No file: the defaults, in the order the game reads them.
    ASSERT_TRUE(open_window(nullptr));
    EXPECT_EQ(saved(), "[Config]\n\n\tVideocard = Software\n\tWindowed = 0\n\tSyncToScreen = 0\n"
                       "\tShowFPS = 0\n\n[Warp3D]\n\n\tSize = 640x480 16Bit\n");
}

TEST_F(GuiTest, DisplayModeTextsShownAndStored)
{
    const char *cases[][4] = {
        // Size, Videocard, shown, stored (no Size: gamepad_test, and the empty one below)
        {"1024x768/16", "Vexel", "Vexel: 1024x768 16Bit", "1024x768/16"},
        {"1024x768/16", "Software", "Software: 640x480 16Bit", "640x480 16Bit"},
        {"1024x768/16", "Glide", "Software: 640x480 16Bit", "640x480 16Bit"},
        {"800x600/32:59.9400024", "Vexel", "Vexel: 800x600 32Bit 59.94 Hz", "800x600/32:59.94"},
        {"640x480 16Bit", "Vexel", "Vexel: 640x480 16Bit", "640x480/16"}, // stops at the blank
        {" +0x320x 0130/ 020: 7.5e1", "Vexel", "Vexel: 800x88 16Bit 75.00 Hz", "800x88/16:75.00"},
        {"1280x1024/24:nan", "Vexel", "Vexel: 1280x1024 24Bit", "1280x1024/24"},
        {"1280x1024/24:-60", "Vexel", "Vexel: 1280x1024 24Bit", "1280x1024/24"},
        {"1280y1024/24:60", "Vexel", "Vexel: 1280x480 16Bit", "1280x480/16"},
        // Numbers beyond 32 bits are held at the limits; a rate beyond float is none.
        {"9999999999999999999999999x-99999999999/0x7fffffffff:1e39", "Vexel",
         "Vexel: 2147483647x-2147483648 2147483647Bit", "2147483647x-2147483648/2147483647"},
        {"", "Vexel", "Vexel: 640x480 16Bit", "640x480/16"}};
    for (const auto &[size, videocard, text, stored] : cases) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(open_window(("[Config]\nVideocard = " + std::string(videocard) +
                                 "\n[Warp3D]\nSize = " + size + "\n")
                                    .c_str()));
        EXPECT_EQ(shown(), text);
        EXPECT_STREQ(guiScreenString, stored);
    }
}

TEST_F(GuiTest, AllPendingEventsInOnePassOnTheWindowsSignal)
{
    ASSERT_TRUE(open_window("[Config]\nVideocard = Vexel\nShowFPS = 0\n"));
    widget<QCheckBox>(OID_GFX_SHOWFPS)->setChecked(true);
    for (uint32 event : {WMHI_GADGETUP | OID_VSYNC, WMHI_CLOSEWINDOW, WMHI_GADGETUP | OID_GFX_MODE,
                         0x40000u | OID_QUIT, WMHI_GADGETUP | 999u, WMHI_GADGETUP | OID_SAVE_QUIT})
        pt::post_window_event(obj[OID_WIN_MAIN], event);
    EXPECT_FALSE(gui_handler(~wsig[WID_MAIN])); // another signal: the events wait
    EXPECT_TRUE(gui_handler(wsig[WID_MAIN]));
    EXPECT_STREQ(config_get_option("Config", "ShowFPS", nullptr), "0"); // nothing acts after close
    EXPECT_FALSE(gui_handler(wsig[WID_MAIN]));                          // nothing left
}

TEST_F(GuiTest, EveryFocusableControlIsNamedAndTabFollowsTheRows)
{
    write_file(dir / "kt.iff", read_file(EXAMPLES_DIR "/kt.iff"));
    ASSERT_TRUE(
        open_window("[Config]\nVideocard = Vexel\n[Warp3D]\nSize = 800x600/32:59.94\n", "DE"));
    const auto said = [](QWidget *w, QAccessible::Text text) {
        return QAccessible::queryAccessibleInterface(w)->text(text).toStdString();
    };
    std::string chain; // the names in Tab's order, and round again
    QWidget *focus = widget<QWidget>(OID_SCREENSEL);
    for (int i = 0; i < 10; ++i) {
        chain += said(focus, QAccessible::Name) + "|";
        do focus = focus->nextInFocusChain();
        while (!(focus->focusPolicy() & Qt::TabFocus) || !focus->isEnabled());
    }
    EXPECT_EQ(chain,
              "Screen mode: 800x600 32Bit 59.94 Hz|Render Mode|vSync|Windowed|showFPS|Language|"
              "Save & Launch|Save & Quit|Quit|Screen mode: 800x600 32Bit 59.94 Hz|");
    EXPECT_EQ(said(widget<QWidget>(OID_SCREENSTRING), QAccessible::Name), "Screen mode");
    EXPECT_EQ(said(window()->findChild<QLabel *>("image"), QAccessible::Name), "Karthos");
    EXPECT_EQ(said(window(), QAccessible::Description),
              "Sets up the display and the language of Karthos, and starts the game");
}

TEST_F(GuiTest, PicturesArriveOnceTheWindowHasShownABrokenBannerTakesNoPlace)
{
    const std::string banner = read_file(EXAMPLES_DIR "/kt.iff");
    write_file(dir / "kt.iff", banner.substr(0, banner.size() / 2));
    ASSERT_TRUE(open_window(nullptr));
    EXPECT_EQ(window()->findChild<QLabel *>("image"), nullptr);

    write_file(dir / "kt.iff", banner);
    ASSERT_TRUE(open_window(nullptr));
    auto *image = window()->findChild<QLabel *>("image");
    ASSERT_NE(image, nullptr);
    const QPushButton *button = widget<QPushButton>(OID_SCREENSEL);
    const qint64 placeholder = button->icon().cacheKey();
    EXPECT_TRUE(image->pixmap().isNull());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !image->pixmap().isNull() && button->icon().cacheKey() != placeholder; }));
    EXPECT_EQ(image->pixmap().height(), image->height());
    EXPECT_GE(image->width(), image->pixmap().width());
    EXPECT_EQ(image->alignment(), Qt::AlignCenter); // centred when the window is wider
    EXPECT_EQ(button->text(), "");
    EXPECT_GE(std::min(button->width(), button->height()), 32);
}

// The drawn icon is kept, and used while it is newer than every theme and about the size shown.
TEST_F(GuiTest, TheDrawnIconIsKeptUntilAThemeChanges)
{
    ASSERT_TRUE(open_window(nullptr));
    const fs::path themes = dir / "icons", cache = dir / "cache";
    fs::create_directories(themes / "t/32");
    write_file(themes / "t/index.theme", "[Icon Theme]\nDirectories=32\n[32]\nSize=32\n");
    const auto save = [](const fs::path &path, QColor colour, int side) {
        QImage image(side, side, QImage::Format_RGB32);
        image.fill(colour);
        image.save(QString::fromStdString(path.string()), "PNG");
    };
    const auto age = [](const fs::path &path, int hours) {
        fs::last_write_time(path, fs::file_time_type::clock::now() + std::chrono::hours(hours));
    };
    save(themes / "t/32/video-display.png", Qt::green, 32);
    QIcon::setThemeName("t");
    const Picture picture{nullptr, QSize(32, 32), "video-display"};
    const auto shown = [&] {
        const QImage icon = theme_icon(picture).toImage();
        return icon.isNull() ? QColor() : icon.pixelColor(16, 16);
    };
    const struct {
        const char *name;
        int kept_side; // of a red icon put in the cache; 0: a pipe there instead
        bool theme_changed, other_folders;
        QColor shows;
    } cases[] = {{"kept", 32, false, false, Qt::red},
                 {"theme changed", 32, true, false, Qt::green},
                 {"too large", 65, false, false, Qt::green},
                 {"other folders", 32, false, true, QColor()},
                 {"a pipe", 0, false, false, Qt::green}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(cache);
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        QIcon::setThemeSearchPaths({QString::fromStdString(themes.string())});
        age(themes, -1), age(themes / "t", -1);
        EXPECT_EQ(shown(), Qt::green); // drawn, and kept
        fs::path kept;
        for (const auto &file : fs::recursive_directory_iterator(cache))
            kept = file.is_regular_file() ? file.path() : kept;
        if (c.kept_side)
            save(kept, Qt::red, c.kept_side);
        else
            fs::remove(kept), mkfifo(kept.c_str(), 0600);
        if (c.theme_changed)
            age(themes, 1);
        if (c.other_folders)
            QIcon::setThemeSearchPaths({"/nonexistent"});
        EXPECT_EQ(shown(), c.shows);
    }
}

// A button class that cannot make its objects: the real groups and window above give up theirs.
TEST_F(GuiTest, AMissingClassOrAnyPartOfTheTreeThatCannotBeMadeLeavesNothing)
{
    for (const char *name : {"button.gadget", "missing chooser.gadget"}) {
        SCOPED_TRACE(name);
        const bool missing = std::string_view(name).starts_with("missing ");
        ClassIFace fake;
        fake.NewButton = [](uint32, CONST_STRPTR, Picture *p, int32) -> Object * {
            delete p;
            return nullptr;
        };
        if (missing) // as good as not there: it cannot be opened
            register_library({"chooser.gadget", 53, [] { return false; }, nullptr, nullptr});
        else
            register_library({name, 53, nullptr, nullptr, &fake});
        log.clear();
        EXPECT_FALSE(open_window(nullptr, "DE FR"));
        EXPECT_EQ(log.messages(),
                  std::vector<std::string>{missing ? "Unable to open 'chooser.gadget', version 51+"
                                                   : "Unable to create GUI"});
        EXPECT_EQ(win[WID_MAIN], nullptr);
        EXPECT_EQ(std::ranges::count(obj, nullptr), NUM_OBJECTS);
        gui_shut(); // every class got is closed once; none after the missing one is opened
        const std::vector<std::string> &calls = pt::library_calls();
        auto n = [&](const char *verb) {
            return std::ranges::count_if(calls, [&](auto &c) { return c.starts_with(verb); });
        };
        EXPECT_EQ(n("close "), n("get "));
        EXPECT_EQ(std::ranges::count(calls, "open checkbox.gadget"), missing ? 0 : 1);
        unregister_library(missing ? "chooser.gadget" : name);
    }
}

} // namespace
