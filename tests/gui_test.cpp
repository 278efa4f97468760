// The preferences window on Qt's offscreen display: what it shows for the stored
// preferences, the language packs and the display mode, and what it stores back.
#include "configfile.h"
#include "gui.h"
#include "platform/display.h"
#include "platform/qt_private.h"
#include "platform/screenmode.h"
#include "test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <climits>

namespace {

using platform::DisplayMode;
using platform::ScreenModeRequest;

// Sets LANG (and clears the variables before it) for one test.
class Language {
  public:
    explicit Language(const char *lang)
    {
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        setenv("LANG", lang, 1);
    }
    ~Language() { unsetenv("LANG"); }
    Language(const Language &) = delete;
    Language &operator=(const Language &) = delete;
};

class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        platform::testing::set_program_dir(dir.path().string());
        platform::testing::set_requester_hook([this](std::string_view, std::string_view body) {
            messages.emplace_back(body);
            return true;
        });
        ASSERT_TRUE(getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition));
        ASSERT_TRUE(getLibIFace(&RequesterBase, "requester.class", 51, &IRequester));
        // The display-mode state lives for a run; each test is a run of its own.
        hwWidth = 640, hwHeight = 480, bpp = 16, Hz = 0.0f;
    }
    void TearDown() override
    {
        gui_shut();
        config_shut();
        dropLibIFace(&IntuitionBase, &IIntuition);
        dropLibIFace(&RequesterBase, &IRequester);
        platform::testing::set_requester_hook(nullptr);
        platform::testing::set_screen_mode_hook(nullptr);
        platform::testing::clear_library_faults();
        platform::testing::set_program_dir(std::nullopt);
    }

    void install_packs(bool german, bool french)
    {
        if (german)
            fs::create_directories(dir / "data" / "missionsDE");
        if (french)
            fs::create_directories(dir / "data" / "missionsFR");
    }

    // Loads `prefs` (none when nullopt) and opens the window, as start-up does.
    void open_window(const std::optional<std::string> &prefs)
    {
        if (prefs)
            write_file(dir / "Karthos.prefs", *prefs);
        ASSERT_TRUE(config_init());
        gui_preinit();
        ASSERT_TRUE(gui_init());
    }

    template <class W> W *widget(int oid)
    {
        return qobject_cast<W *>(platform::object_widget(obj[oid]));
    }

    std::string shown() { return widget<QLineEdit>(OID_SCREENSTRING)->text().toStdString(); }
    bool screen_button_enabled() { return widget<QPushButton>(OID_SCREENSEL)->isEnabled(); }
    bool checked(int oid) { return widget<QCheckBox>(oid)->isChecked(); }
    std::string chosen(int oid) { return widget<QComboBox>(oid)->currentText().toStdString(); }
    QStringList items(int oid)
    {
        QStringList list;
        for (int i = 0; i < widget<QComboBox>(oid)->count(); ++i)
            list << widget<QComboBox>(oid)->itemText(i);
        return list;
    }

    // The user picks entry `index` of a chooser, and the window's events are handled.
    BOOL pick(int oid, int index)
    {
        QComboBox *chooser = widget<QComboBox>(oid);
        chooser->setCurrentIndex(index);
        emit chooser->activated(index);
        return gui_handler(wsig[WID_MAIN]);
    }
    BOOL click(int oid)
    {
        widget<QAbstractButton>(oid)->click();
        return gui_handler(wsig[WID_MAIN]);
    }

    // What "_Save & Quit" would leave in the file.
    std::string saved_after_copy()
    {
        set_config_from_gui();
        EXPECT_TRUE(config_save());
        return read_file(dir / "Karthos.prefs");
    }

    TempDir dir;
    std::vector<std::string> messages;
};

// --- Language row ------------------------------------------------------------------

struct LanguageCase {
    bool german, french;
    const char *lang;
    QStringList offered; // empty: no chooser
    int preselected;
};

class LanguageRowTest : public GuiTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(LanguageRowTest, OffersInstalledPacksAndPreselectsTheUsersLanguage)
{
    const LanguageCase &c = GetParam();
    install_packs(c.german, c.french);
    Language lang(c.lang);
    open_window(std::nullopt);
    if (c.offered.isEmpty()) {
        EXPECT_EQ(obj[OID_LANGUAGE], nullptr);
        EXPECT_EQ(germanIndx, -1);
        EXPECT_EQ(frenchIndx, -1);
        EXPECT_EQ(saved_after_copy().find("Language"), std::string::npos);
        return;
    }
    ASSERT_NE(obj[OID_LANGUAGE], nullptr);
    EXPECT_EQ(items(OID_LANGUAGE), c.offered);
    EXPECT_EQ(widget<QComboBox>(OID_LANGUAGE)->currentIndex(), c.preselected);
    EXPECT_EQ(germanIndx, c.offered.indexOf("german"));
    EXPECT_EQ(frenchIndx, c.offered.indexOf("french"));
    EXPECT_NE(
        saved_after_copy().find("\tLanguage = " + c.offered[c.preselected].toStdString() + "\n"),
        std::string::npos);
}

const QStringList EN_DE = {"english", "german"}, EN_FR = {"english", "french"},
                  ALL = {"english", "german", "french"};

INSTANTIATE_TEST_SUITE_P(PacksAndLocales, LanguageRowTest,
                         ::testing::Values(LanguageCase{false, false, "de_DE.UTF-8", {}, 0},
                                           LanguageCase{true, false, "de_DE.UTF-8", EN_DE, 1},
                                           LanguageCase{true, false, "fr_FR.UTF-8", EN_DE, 0},
                                           LanguageCase{true, false, "en_US.UTF-8", EN_DE, 0},
                                           LanguageCase{false, true, "de_DE.UTF-8", EN_FR, 0},
                                           LanguageCase{false, true, "fr_FR.UTF-8", EN_FR, 1},
                                           LanguageCase{true, true, "de_AT.UTF-8", ALL, 1},
                                           LanguageCase{true, true, "fr_CA.UTF-8", ALL, 2},
                                           LanguageCase{true, true, "it_IT.UTF-8", ALL, 0},
                                           LanguageCase{true, true, "C", ALL, 0}));

TEST_F(GuiTest, StoredLanguageWinsOverTheSystemLanguageWhenOffered)
{
    install_packs(false, true);
    Language lang("fr_FR.UTF-8");
    open_window("[Config]\nLanguage = german\n"); // not installed: English
    EXPECT_EQ(chosen(OID_LANGUAGE), "english");
    EXPECT_NE(saved_after_copy().find("\tLanguage = english\n"), std::string::npos);
}

TEST_F(GuiTest, LanguageWordsAreMatchedExactly)
{
    install_packs(true, true);
    Language lang("fr_FR.UTF-8");
    open_window("[Config]\nLanguage = German\n");
    EXPECT_EQ(chosen(OID_LANGUAGE), "english");
}

TEST_F(GuiTest, EmptyStoredLanguageKeepsTheSystemLanguage)
{
    install_packs(true, true);
    Language lang("de_DE.UTF-8");
    open_window("[Config]\nLanguage =\n");
    EXPECT_EQ(chosen(OID_LANGUAGE), "german");
}

TEST_F(GuiTest, WithoutPacksTheStoredLanguageIsKept)
{
    Language lang("de_DE.UTF-8");
    open_window("[Config]\nLanguage = klingon\n");
    EXPECT_EQ(obj[OID_LANGUAGE], nullptr);
    EXPECT_NE(saved_after_copy().find("\tLanguage = klingon\n"), std::string::npos);
}

// --- The six settings ----------------------------------------------------------------

TEST_F(GuiTest, NoStoredSettingsShowTheDefaultsAndStoreThemInOrder)
{
    install_packs(true, false);
    Language lang("de_DE.UTF-8");
    open_window("[AmigaInput]\nJoy1 = 2\n");
    EXPECT_EQ(chosen(OID_GFX_MODE), "Software");
    EXPECT_EQ(shown(), "640x480 16Bit");
    EXPECT_FALSE(screen_button_enabled());
    EXPECT_FALSE(checked(OID_VSYNC));
    EXPECT_FALSE(checked(OID_GFX_WINDOWED));
    EXPECT_FALSE(checked(OID_GFX_SHOWFPS));
    EXPECT_EQ(chosen(OID_LANGUAGE), "german");
    EXPECT_EQ(saved_after_copy(), "[AmigaInput]\n\n\tJoy1 = 2\n\n"
                                  "[Config]\n\n"
                                  "\tLanguage = german\n"
                                  "\tVideocard = Software\n"
                                  "\tWindowed = 0\n"
                                  "\tSyncToScreen = 0\n"
                                  "\tShowFPS = 0\n\n"
                                  "[Warp3D]\n\n"
                                  "\tSize = 640x480 16Bit\n");
}

TEST_F(GuiTest, StoredSettingsAreShownAndNormalisedWhereTheyStand)
{
    open_window("[Config]\n"
                "ShowFPS = 1\n"
                "Videocard = vexel\n"
                "SyncToScreen = 2\n"
                "Windowed = yes\n"
                "Other = kept\n"
                "[Warp3D]\n"
                "Size = 800x600/32:59.94\n");
    EXPECT_EQ(chosen(OID_GFX_MODE), "Vexel");
    EXPECT_TRUE(screen_button_enabled());
    EXPECT_EQ(shown(), "800x600 32Bit 59.94 Hz");
    EXPECT_TRUE(checked(OID_VSYNC));
    EXPECT_FALSE(checked(OID_GFX_WINDOWED));
    EXPECT_TRUE(checked(OID_GFX_SHOWFPS));
    EXPECT_EQ(saved_after_copy(), "[Config]\n\n"
                                  "\tShowFPS = 1\n"
                                  "\tVideocard = Vexel\n"
                                  "\tSyncToScreen = 1\n"
                                  "\tWindowed = 0\n"
                                  "\tOther = kept\n\n"
                                  "[Warp3D]\n\n"
                                  "\tSize = 800x600/32:59.94\n");
}

TEST_F(GuiTest, UnknownRenderModeMeansSoftware)
{
    for (const char *word : {"Glide", ""}) {
        SCOPED_TRACE(word);
        open_window(std::string("[Config]\nVideocard = ") + word + "\n");
        EXPECT_EQ(chosen(OID_GFX_MODE), "Software");
        gui_shut();
        config_shut();
    }
}

// --- Display mode texts ------------------------------------------------------------

struct ModeText {
    const char *size; // null: no "Size" key
    const char *videocard;
    const char *shown, *stored;
};

class ModeTextTest : public GuiTest, public ::testing::WithParamInterface<ModeText> {};

TEST_P(ModeTextTest, ShownAndStored)
{
    const ModeText &m = GetParam();
    std::string prefs = std::string("[Config]\nVideocard = ") + m.videocard + "\n";
    if (m.size)
        prefs += std::string("[Warp3D]\nSize = ") + m.size + "\n";
    open_window(prefs);
    EXPECT_EQ(shown(), m.shown);
    EXPECT_STREQ(screenString, m.shown);
    EXPECT_STREQ(guiScreenString, m.stored);
    EXPECT_EQ(screen_button_enabled(), std::string(m.videocard) != "Software");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ModeTextTest,
    ::testing::Values(
        ModeText{"800x600/32:59.94", "Vexel", "800x600 32Bit 59.94 Hz", "800x600/32:59.94"},
        ModeText{"1024x768/16", "Vexel", "1024x768 16Bit", "1024x768/16"},
        ModeText{nullptr, "Vexel", "640x480 16Bit", "640x480/16"},
        ModeText{"1024x768/16", "Software", "640x480 16Bit", "640x480 16Bit"},
        ModeText{"800x600/32:59.9400024", "Vexel", "800x600 32Bit 59.94 Hz", "800x600/32:59.94"},
        // The shown software text read back: stops at the blank.
        ModeText{"640x480 16Bit", "Vexel", "640x480 16Bit", "640x480/16"},
        ModeText{" +0x320x 0130/ 020: 7.5e1", "Vexel", "800x88 16Bit 75.00 Hz", "800x88/16:75.00"},
        ModeText{"1280x1024/24:nan", "Vexel", "1280x1024 24Bit", "1280x1024/24"},
        ModeText{"1280x1024/24:-60", "Vexel", "1280x1024 24Bit", "1280x1024/24"},
        ModeText{"1280y1024/24:60", "Vexel", "1280x480 16Bit", "1280x480/16"},
        // Numbers beyond 32 bits are held at the limits; a rate beyond float is none.
        ModeText{"99999999999x-99999999999/0x7fffffffff:1e39", "Vexel",
                 "2147483647x-2147483648 2147483647Bit", "2147483647x-2147483648/2147483647"},
        ModeText{"800x600/32:inf", "Vexel", "800x600 32Bit", "800x600/32"},
        ModeText{"", "Vexel", "640x480 16Bit", "640x480/16"}));

TEST_F(GuiTest, SwitchingRenderModeKeepsTheChosenMode)
{
    open_window("[Config]\nVideocard = Vexel\n[Warp3D]\nSize = 800x600/32:59.94\n");
    EXPECT_FALSE(pick(OID_GFX_MODE, 0));
    EXPECT_FALSE(screen_button_enabled());
    EXPECT_EQ(shown(), "640x480 16Bit");
    EXPECT_STREQ(guiScreenString, "640x480 16Bit");
    EXPECT_FALSE(pick(OID_GFX_MODE, 1));
    EXPECT_TRUE(screen_button_enabled());
    EXPECT_EQ(shown(), "800x600 32Bit 59.94 Hz");
}

// --- Screen-mode requester ---------------------------------------------------------

// 1920x1080 at a pixel clock of 148.352 MHz, 2200 clocks a line, 1125 lines.
const DisplayMode FULL_HD{1920, 1080, 32, 2200, 1125, 1e9f / 148352000.0f};

TEST_F(GuiTest, PickedScreenModeUpdatesStateAndBothTexts)
{
    open_window("[Config]\nVideocard = Vexel\n[Warp3D]\nSize = 800x600/16\n");
    std::optional<ScreenModeRequest> asked;
    platform::testing::set_screen_mode_hook([&](const ScreenModeRequest &request) {
        asked = request;
        return std::optional<DisplayMode>(FULL_HD);
    });
    EXPECT_FALSE(click(OID_SCREENSEL));
    ASSERT_TRUE(asked);
    EXPECT_STREQ(asked->title, "Pick a screenmode");
    EXPECT_EQ(asked->window, win[WID_MAIN]);
    EXPECT_EQ(std::tie(asked->initial_width, asked->initial_height, asked->initial_depth),
              std::tuple(640, 480, 8));
    EXPECT_EQ(std::tie(asked->min_width, asked->min_height, asked->min_depth, asked->max_depth),
              std::tuple(640, 480, 16, 32));
    EXPECT_EQ(std::tie(hwWidth, hwHeight, bpp), std::tuple(1920, 1080, 32));
    EXPECT_EQ(shown(), "1920x1080 32Bit 59.94 Hz");
    EXPECT_STREQ(guiScreenString, "1920x1080/32:59.94");
    EXPECT_NE(saved_after_copy().find("\tSize = 1920x1080/32:59.94\n"), std::string::npos);
}

TEST_F(GuiTest, CancelledOrTimelessModes)
{
    open_window("[Config]\nVideocard = Vexel\n[Warp3D]\nSize = 800x600/16:60\n");
    platform::testing::set_screen_mode_hook([](const ScreenModeRequest &) { return std::nullopt; });
    click(OID_SCREENSEL);
    EXPECT_EQ(shown(), "800x600 16Bit 60.00 Hz");
    EXPECT_STREQ(guiScreenString, "800x600/16:60.00");

    DisplayMode no_timing = FULL_HD;
    no_timing.lines_per_frame = 0;
    platform::testing::set_screen_mode_hook(
        [&](const ScreenModeRequest &) { return std::optional(no_timing); });
    click(OID_SCREENSEL);
    EXPECT_EQ(Hz, 0.0f);
    EXPECT_EQ(shown(), "1920x1080 32Bit");
    EXPECT_STREQ(guiScreenString, "1920x1080/32");
}

// --- Objects, keyboard and events ----------------------------------------------------

TEST_F(GuiTest, SlotsWithoutObjectsStayEmpty)
{
    open_window(std::nullopt);
    for (int oid : {OID_TABS, OID_PAGES, OID_SND_UNIT, OID_SND_MUSIC, OID_SND_VOICE, OID_JOY_1ST,
                    OID_JOY_2ND, OID_JOY_3RD, OID_JOY_AICONF, OID_GFX_DETAIL, OID_LANGUAGE,
                    OID_NET_TYPE, OID_NET_SPEED, OID_MEM_SNDCACHE, OID_MEM_SNDCACHEDIS,
                    OID_MEM_GFXCACHE, OID_MEM_GFXCACHEDIS, OID_MEM_SCALETEX, OID_MEM_FRAMESKIP})
        EXPECT_EQ(obj[oid], nullptr) << oid;
    for (int oid : {OID_WIN_MAIN, OID_VSYNC, OID_SCREENSEL, OID_SCREENSTRING, OID_GFX_MODE,
                    OID_GFX_WINDOWED, OID_GFX_SHOWFPS, OID_SAVE_LAUNCH, OID_SAVE_QUIT, OID_QUIT})
        EXPECT_NE(obj[oid], nullptr) << oid;
}

TEST_F(GuiTest, WindowLayoutAndTexts)
{
    open_window(std::nullopt);
    QWidget *window = platform::window_widget(win[WID_MAIN]);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Karthos Preferences");
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // not resizable
    EXPECT_TRUE(window->toolTip().contains("2017"));
    EXPECT_EQ(widget<QPushButton>(OID_SAVE_LAUNCH)->text(), "Save && &Launch");
    EXPECT_EQ(widget<QPushButton>(OID_SAVE_QUIT)->text(), "&Save && Quit");
    EXPECT_EQ(widget<QPushButton>(OID_QUIT)->text(), "Quit");
    EXPECT_EQ(widget<QCheckBox>(OID_VSYNC)->text(), "vSync");
    EXPECT_EQ(items(OID_GFX_MODE), (QStringList{"Software", "Vexel"}));
    const QSize button = widget<QPushButton>(OID_SCREENSEL)->size();
    EXPECT_GE(button.width(), 32);
    EXPECT_GE(button.height(), 32);
    EXPECT_TRUE(widget<QLineEdit>(OID_SCREENSTRING)->isReadOnly());
    // The three buttons share the bottom row equally.
    EXPECT_EQ(widget<QPushButton>(OID_SAVE_LAUNCH)->width(),
              widget<QPushButton>(OID_QUIT)->width());
    EXPECT_EQ(widget<QPushButton>(OID_SAVE_QUIT)->width(), widget<QPushButton>(OID_QUIT)->width());
}

// The shortcut keys themselves are driven on a real X server by the end-to-end tests;
// here: which keys the buttons claim, and Escape as the close request.
TEST_F(GuiTest, KeyboardShortcutsAndEscape)
{
    open_window(std::nullopt);
    EXPECT_EQ(QKeySequence::mnemonic(widget<QPushButton>(OID_SAVE_LAUNCH)->text()),
              QKeySequence(Qt::ALT | Qt::Key_L));
    EXPECT_EQ(QKeySequence::mnemonic(widget<QPushButton>(OID_SAVE_QUIT)->text()),
              QKeySequence(Qt::ALT | Qt::Key_S));
    QWidget *window = platform::window_widget(win[WID_MAIN]);
    QTest::keyClick(window, Qt::Key_Escape);
    uint16 code = 0;
    EXPECT_EQ(platform::WindowHandleInput(obj[OID_WIN_MAIN], &code), platform::WMHI_CLOSEWINDOW);
    EXPECT_EQ(platform::WindowHandleInput(obj[OID_WIN_MAIN], &code), platform::WMHI_LASTMSG);
    EXPECT_TRUE(window->isVisible()); // only the program closes it
}

TEST_F(GuiTest, AllPendingEventsAreHandledInOnePass)
{
    open_window("[Config]\nVideocard = Vexel\nShowFPS = 0\n");
    widget<QCheckBox>(OID_GFX_SHOWFPS)->setChecked(true);
    for (uint32 event : {platform::WMHI_GADGETUP | OID_VSYNC, platform::WMHI_CLOSEWINDOW,
                         platform::WMHI_GADGETUP | OID_GFX_MODE, 0x40000u | OID_QUIT,
                         platform::WMHI_GADGETUP | 999u, platform::WMHI_GADGETUP | OID_SAVE_QUIT})
        platform::testing::post_window_event(obj[OID_WIN_MAIN], event);
    EXPECT_FALSE(gui_handler(~wsig[WID_MAIN])); // another signal: the events wait
    EXPECT_TRUE(gui_handler(wsig[WID_MAIN]));
    EXPECT_STREQ(config_get_option("Config", "ShowFPS", nullptr), "1"); // Save & Quit after close
    EXPECT_FALSE(gui_handler(wsig[WID_MAIN]));                          // nothing left
}

TEST_F(GuiTest, QuitAndCloseLeaveTheStoreAsLoaded)
{
    open_window("[Config]\nShowFPS = 0\n");
    widget<QCheckBox>(OID_GFX_SHOWFPS)->setChecked(true);
    EXPECT_TRUE(click(OID_QUIT));
    platform::testing::post_window_event(obj[OID_WIN_MAIN], platform::WMHI_CLOSEWINDOW);
    EXPECT_TRUE(gui_handler(wsig[WID_MAIN]));
    EXPECT_STREQ(config_get_option("Config", "ShowFPS", nullptr), "0");
}

// --- Failures ------------------------------------------------------------------------

TEST_F(GuiTest, MissingClassStopsTheWindowAndClosesWhatWasOpened)
{
    platform::testing::set_library_fault("chooser.gadget",
                                         platform::testing::LibraryFault::missing);
    ASSERT_TRUE(config_init());
    gui_preinit();
    platform::testing::clear_library_calls();
    EXPECT_FALSE(gui_init());
    EXPECT_EQ(messages, std::vector<std::string>{"Unable to open 'chooser.gadget', version 51+"});
    EXPECT_EQ(obj[OID_WIN_MAIN], nullptr);
    gui_shut();
    const auto &calls = platform::testing::library_calls();
    for (const char *name :
         {"window.class", "layout.gadget", "space.gadget", "button.gadget", "clicktab.gadget"})
        EXPECT_EQ(std::count(calls.begin(), calls.end(), std::string("close ") + name), 1) << name;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), std::string("close chooser.gadget")), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), std::string("open checkbox.gadget")), 0);
}

class GadgetFailureTest : public GuiTest, public ::testing::WithParamInterface<const char *> {};

// Any part of the tree that cannot be made takes the whole window with it.
TEST_P(GadgetFailureTest, NoWindowAndNothingLeftBehind)
{
    install_packs(true, true);
    const std::string kind = GetParam();
    platform::testing::set_object_fault([&](CONST_STRPTR k, uint32) { return kind == k; });
    ASSERT_TRUE(config_init());
    gui_preinit();
    EXPECT_FALSE(gui_init());
    platform::testing::set_object_fault(nullptr);
    EXPECT_EQ(messages, std::vector<std::string>{"Unable to create GUI"});
    for (Object *o : obj) EXPECT_EQ(o, nullptr);
    EXPECT_EQ(win[WID_MAIN], nullptr);
}

INSTANTIATE_TEST_SUITE_P(EachKind, GadgetFailureTest,
                         ::testing::Values("window", "group", "space", "button", "chooser",
                                           "checkbox", "textfield"));

TEST_F(GuiTest, BannerAndLanguageAreOptional)
{
    install_packs(true, false);
    write_file(dir / "kt.iff", read_file(EXAMPLES_DIR "/kt.iff"));
    platform::testing::set_object_fault([](CONST_STRPTR kind, uint32 id) {
        return std::string(kind) == "image" || (std::string(kind) == "chooser" && id == OID_LANGUAGE);
    });
    open_window(std::nullopt);
    platform::testing::set_object_fault(nullptr);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(obj[OID_LANGUAGE], nullptr);
    EXPECT_EQ(platform::window_widget(win[WID_MAIN])->findChild<QWidget *>("image"), nullptr);
}

TEST_F(GuiTest, BannerAndScreenPictureWhenPresent)
{
    write_file(dir / "kt.iff", read_file(EXAMPLES_DIR "/kt.iff"));
    open_window(std::nullopt);
    EXPECT_NE(platform::window_widget(win[WID_MAIN])->findChild<QWidget *>("image"), nullptr);
    EXPECT_FALSE(widget<QPushButton>(OID_SCREENSEL)->icon().isNull()); // the theme's picture
    EXPECT_EQ(widget<QPushButton>(OID_SCREENSEL)->text(), "");
}

TEST_F(GuiTest, ShutAfterPreinitOnlyReleasesNothing)
{
    gui_preinit();
    platform::testing::clear_library_calls();
    gui_shut();
    EXPECT_TRUE(platform::testing::library_calls().empty());
}

} // namespace
