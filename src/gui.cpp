#include "gui.h"

#include "configfile.h"
#include "platform/files.h"
#include "platform/host.h"
#include "platform/picture.h"
#include "platform/process.h"
#include "platform/screenmode.h"
#include "platform/services.h"
#include "platform/translate.h"
#include "util.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <strings.h>

using namespace platform;

Object *obj[NUM_OBJECTS];
Window *win[NUM_WINDOWS];
uint32 wsig[NUM_WINDOWS];
uint32 gui_sigs = 0;

// The window's classes: opened in this order by gui_init, until one fails, and
// closed in the reverse order by gui_shut. Objects are made through their interfaces.
enum {
    WINDOW_CLASS,
    LAYOUT_GADGET,
    SPACE_GADGET,
    BUTTON_GADGET,
    CLICKTAB_GADGET,
    CHOOSER_GADGET,
    CHECKBOX_GADGET,
    BEVEL_IMAGE,
    BITMAP_IMAGE,
    NUM_CLASSES
};
static struct WindowClass {
    CONST_STRPTR name;
    Library *base;
    ClassIFace *iface;
} classes[NUM_CLASSES] = {{"window.class"},    {"layout.gadget"},   {"space.gadget"},
                          {"button.gadget"},   {"clicktab.gadget"}, {"chooser.gadget"},
                          {"checkbox.gadget"}, {"bevel.image"},     {"bitmap.image"}};

static const ClassIFace &class_iface(int window_class)
{
    return *classes[window_class].iface;
}

// Stored as they are, and shown in the user's language.
static CONST_STRPTR const EnglishSTR = KT_TR("Window", "english");
static CONST_STRPTR const GermanSTR = KT_TR("Window", "german");
static CONST_STRPTR const FrenchSTR = KT_TR("Window", "french");
CONST_STRPTR languages[4];
int32 germanIndx = -1;
int32 frenchIndx = -1;

CONST_STRPTR gfxmodes[3] = {KT_TR("Window", "Software"), KT_TR("Window", "Vexel"), nullptr};
CONST_STRPTR gfxmodes_file[3] = {"Software", "Vexel", nullptr};

int32 hwWidth = 640;
int32 hwHeight = 480;
int32 bpp = 16;
float Hz = 0.0f;
TEXT screenString[128];
TEXT guiScreenString[128];

// The window's texts are in English here, and shown in the user's language (tr).
static constexpr CONST_STRPTR WINDOW_TITLE = KT_TR("Window", "Karthos Preferences");
static constexpr CONST_STRPTR WINDOW_PURPOSE =
    KT_TR("Window", "Sets up the display and the language of Karthos, and starts the game");
static constexpr CONST_STRPTR ABOUT_LINE =
    KT_TR("Window", "Karthos Preferences \u00a9 2017 The Karthos Team");
static constexpr CONST_STRPTR WINDOW_ICON = ":/icons/karthos-preferences.png";
// Under the buttons while a game controller is connected, in the glyphs of its buttons.
static constexpr CONST_STRPTR PAD_HINT = KT_TR(
    "Window",
    "D-pad: move  {confirm}: select  {cancel}: back  {start}: save & launch  {back}: save & quit");
static constexpr int32 SCREEN_BUTTON_SIZE = 32;
// The launcher's own settings, beside the game's.
static constexpr CONST_STRPTR LAUNCHER_SECTION = "Launcher";
static constexpr unsigned long GAME_STACK = 524288;

static CONST_STRPTR in_window(CONST_STRPTR text)
{
    return translated("Window", text);
}

// --- Language packs ------------------------------------------------------------

BOOL germanFilesInstalled()
{
    return directory_exists(progdir_path("data/missionsDE/"));
}

BOOL frenchFilesInstalled()
{
    return directory_exists(progdir_path("data/missionsFR/"));
}

// Fills `languages` with English and the installed languages. False when no pack is
// installed (then there is no language chooser); otherwise `preselect` is the entry
// of the user's own language when it is offered, else English.
static BOOL setup_languages(uint32 *preselect)
{
    const BOOL isGerman = germanFilesInstalled();
    const BOOL isFrench = frenchFilesInstalled();
    std::fill(std::begin(languages), std::end(languages), nullptr);
    germanIndx = frenchIndx = -1;
    if (!isGerman && !isFrench)
        return false;

    const std::string code = user_language_code();
    int32 position = 0;
    *preselect = 0;
    languages[position++] = EnglishSTR;
    if (isGerman) {
        languages[germanIndx = position++] = GermanSTR;
        if (code == "deu")
            *preselect = static_cast<uint32>(germanIndx);
    }
    if (isFrench) {
        languages[frenchIndx = position] = FrenchSTR;
        if (code == "fra")
            *preselect = static_cast<uint32>(frenchIndx);
    }
    return true;
}

// --- Display mode ----------------------------------------------------------------

// The stored form "width x height / depth : rate", read as far as it fits; fields
// after the first misfit keep their values.
static void scan_display_mode(CONST_STRPTR text)
{
    CONST_STRPTR p = scan_int32(text, 0, &hwWidth);
    if (!p || *p != 'x' || !(p = scan_int32(p + 1, 0, &hwHeight)) || *p != '/' ||
        !(p = scan_int32(p + 1, 0, &bpp)) || *p != ':')
        return;
    for (++p; isspace_c(*p);) ++p;
    char *end = nullptr;
    const float rate = std::strtof(p, &end);
    if (end != p) // a rate beyond single precision is no rate at all
        Hz = std::isfinite(rate) ? rate : 0.0f;
}

void setDisplayGadgetFromIndex(uint32 indx)
{
    RefreshSetGadgetAttrs(obj[OID_SCREENSEL], win[WID_MAIN], Attr::GA_Disabled, indx == 0);
    if (indx == 0) {
        std::snprintf(screenString, sizeof screenString, "%ix%i 16Bit", 640, 480);
        std::strcpy(guiScreenString, screenString);
    } else if (Hz > 0) { // false for a rate that is not a number
        std::snprintf(screenString, sizeof screenString, "%ix%i %iBit %.2f Hz", hwWidth, hwHeight,
                      bpp, static_cast<double>(Hz));
        std::snprintf(guiScreenString, sizeof guiScreenString, "%ix%i/%i:%.2f", hwWidth, hwHeight,
                      bpp, static_cast<double>(Hz));
    } else {
        std::snprintf(screenString, sizeof screenString, "%ix%i %iBit", hwWidth, hwHeight, bpp);
        std::snprintf(guiScreenString, sizeof guiScreenString, "%ix%i/%i", hwWidth, hwHeight, bpp);
    }
    RefreshSetGadgetText(obj[OID_SCREENSTRING], win[WID_MAIN], screenString);
    // The picture button is read out with the mode it picks.
    TEXT name[sizeof screenString + 16];
    std::snprintf(name, sizeof name, "%s%s", in_window(KT_TR("Window", "Screen mode: ")),
                  screenString);
    SetGadgetName(obj[OID_SCREENSEL], name);
}

static uint32 chooser_selection(Object *chooser)
{
    uint32 selected = 0;
    GetAttr(Attr::CHOOSER_Selected, chooser, &selected);
    return selected;
}

// The modes offered and the one to start on: the request's defaults, and the stored one.
static void pick_screen_mode()
{
    const std::optional<DisplayMode> mode =
        request_screen_mode({.title = in_window(KT_TR("Window", "Pick a screenmode")),
                             .window = win[WID_MAIN],
                             .stored_width = hwWidth,
                             .stored_height = hwHeight,
                             .stored_rate = Hz});
    if (!mode)
        return;
    Hz = display_mode_rate(*mode);
    bpp = mode->depth;
    hwWidth = mode->width;
    hwHeight = mode->height;
    setDisplayGadgetFromIndex(chooser_selection(obj[OID_GFX_MODE]));
}

// --- Preferences and gadgets -----------------------------------------------------

int32 index_from_string(CONST_STRPTR string, CONST_STRPTR const *array, int32 defval)
{
    for (int32 i = 0; array[i]; ++i)
        if (strcasecmp(array[i], string) == 0)
            return i;
    return defval;
}

static void set_check_box(int oid, CONST_STRPTR key)
{
    RefreshSetGadgetAttrs(obj[oid], win[WID_MAIN], Attr::GA_Selected,
                          config_get_int("Config", key, 0) != 0);
}

static void store_check_box(int oid, CONST_STRPTR key, CONST_STRPTR section = "Config")
{
    uint32 checked = 0;
    GetAttr(Attr::GA_Selected, obj[oid], &checked);
    config_set_int(section, key, checked ? 1 : 0);
}

void set_gui_from_config()
{
    CONST_STRPTR language = config_get_option("Config", "Language", nullptr);
    if (language && *language) {
        int32 indx = 0;
        if (std::strcmp(language, GermanSTR) == 0 && germanIndx >= 0)
            indx = germanIndx;
        else if (std::strcmp(language, FrenchSTR) == 0 && frenchIndx >= 0)
            indx = frenchIndx;
        RefreshSetGadgetAttrs(obj[OID_LANGUAGE], win[WID_MAIN], Attr::CHOOSER_Selected,
                              static_cast<uint32>(indx));
    }
    set_check_box(OID_VSYNC, "SyncToScreen");
    scan_display_mode(config_get_option("Warp3D", "Size", "640x480"));
    const uint32 mode = static_cast<uint32>(index_from_string(
        config_get_option("Config", "Videocard", gfxmodes_file[0]), gfxmodes_file, 0));
    RefreshSetGadgetAttrs(obj[OID_GFX_MODE], win[WID_MAIN], Attr::CHOOSER_Selected, mode);
    setDisplayGadgetFromIndex(mode);
    set_check_box(OID_GFX_WINDOWED, "Windowed");
    set_check_box(OID_GFX_SHOWFPS, "ShowFPS");
}

// The entry of the chooser `gpus` that the stored card names, else the default one (0).
static uint32 stored_gpu_index(Object *gpus)
{
    CONST_STRPTR stored = config_get_option(LAUNCHER_SECTION, "GPU", "");
    for (uint32 i = 0;; ++i) {
        const std::string label = GetChooserLabel(gpus, i);
        if (label.empty())
            return 0;
        if (strcasecmp(label.c_str(), stored) == 0)
            return i;
    }
}

// The card is stored only when the player picked another than the one shown for the
// stored name: a name that is not listed today may be again tomorrow.
static void store_gpu()
{
    const uint32 selected = chooser_selection(obj[OID_GPU]);
    if (selected != stored_gpu_index(obj[OID_GPU]))
        config_set_option(LAUNCHER_SECTION, "GPU", GetChooserLabel(obj[OID_GPU], selected).c_str());
}

void set_config_from_gui()
{
    if (obj[OID_LANGUAGE])
        config_set_option("Config", "Language", languages[chooser_selection(obj[OID_LANGUAGE])]);
    config_set_option("Config", "Videocard", gfxmodes_file[chooser_selection(obj[OID_GFX_MODE])]);
    store_check_box(OID_GFX_WINDOWED, "Windowed");
    config_set_option("Warp3D", "Size", guiScreenString);
    store_check_box(OID_VSYNC, "SyncToScreen");
    store_check_box(OID_GFX_SHOWFPS, "ShowFPS");
    if (obj[OID_GPU])
        store_gpu();
    if (obj[OID_GAMEMODE])
        store_check_box(OID_GAMEMODE, "GameMode", LAUNCHER_SECTION);
}

// --- The desktop's services --------------------------------------------------------

// A chooser of the graphics cards after the display settings, on the stored one.
static void show_gpus(const std::vector<Gpu> &gpus)
{
    if (gpus.size() < 2 || obj[OID_GPU])
        return;
    std::vector<CONST_STRPTR> names(gpus.size() + 1, nullptr); // null-terminated
    std::transform(gpus.begin(), gpus.end(), names.begin(),
                   [](const Gpu &gpu) { return gpu.name.c_str(); });
    Object *chooser = class_iface(CHOOSER_GADGET).NewChooser(OID_GPU, names.data(), 0);
    RefreshSetGadgetAttrs(chooser, win[WID_MAIN], Attr::CHOOSER_Selected,
                          stored_gpu_index(chooser));
    SetGadgetHint(chooser, in_window(KT_TR("Window", "The graphics card the game runs on")));
    if (AddGroupRow(obj[OID_WIN_MAIN], obj[OID_GFX_SHOWFPS],
                    {chooser, in_window(KT_TR("Window", "Graphics Card"))}))
        obj[OID_GPU] = chooser;
}

static void show_game_mode()
{
    if (obj[OID_GAMEMODE])
        return;
    Object *box = class_iface(CHECKBOX_GADGET)
                      .NewCheckBox(OID_GAMEMODE, in_window(KT_TR("Window", "Game Mode")));
    RefreshSetGadgetAttrs(box, win[WID_MAIN], Attr::GA_Selected,
                          config_get_int(LAUNCHER_SECTION, "GameMode", 1) != 0);
    SetGadgetHint(box,
                  in_window(KT_TR("Window", "Let GameMode tune the system while the game runs")));
    Object *after = obj[OID_GPU] ? obj[OID_GPU] : obj[OID_GFX_SHOWFPS];
    if (AddGroupRow(obj[OID_WIN_MAIN], after, {box, " "}))
        obj[OID_GAMEMODE] = box;
}

// The stored card's environment; none for the default card or one no longer listed.
static std::vector<std::string> gpu_environment()
{
    CONST_STRPTR name = config_get_option(LAUNCHER_SECTION, "GPU", "");
    if (!*name)
        return {};
    for (const Gpu &gpu : list_gpus())
        if (strcasecmp(gpu.name.c_str(), name) == 0)
            return gpu.is_default ? std::vector<std::string>() : gpu.environment;
    return {};
}

// Asks GameMode to tune the system while the game runs, unless the player said no. A
// daemon that is not there is no error.
static void register_game(pid_t game)
{
    if (config_get_int(LAUNCHER_SECTION, "GameMode", 1) == 0)
        return;
    std::string why;
    if (register_with_game_mode(game, &why) == GameModeResult::refused)
        std::fprintf(stderr, "KTLaunch: %s: %s\n",
                     in_window(KT_TR("Window", "GameMode did not register Karthos")), why.c_str());
}

// --- The window ------------------------------------------------------------------

static BOOL open_classes()
{
    for (WindowClass &c : classes)
        if (!getLibIFace(&c.base, c.name, 51, &c.iface))
            return false;
    return true;
}

static Object *make_display_group(Picture *screen_picture)
{
    obj[OID_SCREENSEL] = class_iface(BUTTON_GADGET)
                             .NewButton(OID_SCREENSEL, screen_picture ? "" : "X", screen_picture,
                                        SCREEN_BUTTON_SIZE);
    SetGadgetHint(obj[OID_SCREENSEL], in_window(KT_TR("Window", "Pick a screen mode")));
    obj[OID_SCREENSTRING] = NewTextField(OID_SCREENSTRING);
    SetGadgetName(obj[OID_SCREENSTRING], in_window(KT_TR("Window", "Screen mode")));
    Object *mode_row =
        class_iface(LAYOUT_GADGET)
            .NewGroup({.horizontal = true, .align_left = true},
                      {{obj[OID_SCREENSEL], nullptr, 0}, {obj[OID_SCREENSTRING], nullptr, 1}});
    CONST_STRPTR shown_modes[std::size(gfxmodes)] = {in_window(gfxmodes[0]), in_window(gfxmodes[1]),
                                                     nullptr};
    obj[OID_GFX_MODE] = class_iface(CHOOSER_GADGET).NewChooser(OID_GFX_MODE, shown_modes, 0);
    const ClassIFace &check_box = class_iface(CHECKBOX_GADGET);
    obj[OID_VSYNC] = check_box.NewCheckBox(OID_VSYNC, in_window(KT_TR("Window", "vSync")));
    obj[OID_GFX_WINDOWED] =
        check_box.NewCheckBox(OID_GFX_WINDOWED, in_window(KT_TR("Window", "Windowed")));
    obj[OID_GFX_SHOWFPS] =
        check_box.NewCheckBox(OID_GFX_SHOWFPS, in_window(KT_TR("Window", "showFPS")));

    std::vector<Child> rows = {{mode_row},
                               {obj[OID_GFX_MODE], in_window(KT_TR("Window", "Render Mode")), 0},
                               {obj[OID_VSYNC], " "},
                               {obj[OID_GFX_WINDOWED], " "},
                               {obj[OID_GFX_SHOWFPS], " ", 0}};
    if (obj[OID_LANGUAGE])
        rows.push_back({obj[OID_LANGUAGE], in_window(KT_TR("Window", "Language"))});
    rows.push_back({class_iface(SPACE_GADGET).NewSpace(), nullptr, 1});
    return class_iface(LAYOUT_GADGET)
        .NewGroup({.frame_title = in_window(KT_TR("Window", "Display")), .labelled = true}, rows);
}

static Object *make_button_row()
{
    const ClassIFace &button = class_iface(BUTTON_GADGET);
    obj[OID_SAVE_LAUNCH] =
        button.NewButton(OID_SAVE_LAUNCH, in_window(KT_TR("Window", "Save & _Launch")), nullptr, 0);
    obj[OID_SAVE_QUIT] =
        button.NewButton(OID_SAVE_QUIT, in_window(KT_TR("Window", "_Save & Quit")), nullptr, 0);
    obj[OID_QUIT] = button.NewButton(OID_QUIT, in_window(KT_TR("Window", "Quit")), nullptr, 0);
    return class_iface(LAYOUT_GADGET)
        .NewGroup({.horizontal = true}, {{obj[OID_SAVE_LAUNCH], nullptr, 1},
                                         {class_iface(SPACE_GADGET).NewSpace(), nullptr, 1},
                                         {obj[OID_SAVE_QUIT], nullptr, 1},
                                         {class_iface(SPACE_GADGET).NewSpace(), nullptr, 1},
                                         {obj[OID_QUIT], nullptr, 1}});
}

static Object *make_window(Picture *banner, Picture *screen_picture)
{
    std::vector<Child> parts;
    if (Object *image = class_iface(BITMAP_IMAGE).NewImage(banner)) {
        SetGadgetName(image, "Karthos"); // the name the banner shows
        parts.push_back({image});
    }
    parts.push_back({make_display_group(screen_picture), nullptr, 10});
    parts.push_back({make_button_row(), nullptr, 0});
    return class_iface(WINDOW_CLASS)
        .NewWindowObject({.title = in_window(WINDOW_TITLE),
                          .about = in_window(ABOUT_LINE),
                          .description = in_window(WINDOW_PURPOSE),
                          .icon = WINDOW_ICON,
                          .layout = class_iface(LAYOUT_GADGET).NewGroup({}, parts),
                          .default_gadget = OID_SAVE_LAUNCH,
                          .back_gadget = OID_SAVE_QUIT,
                          .quit_gadget = OID_QUIT,
                          .pad_hint = in_window(PAD_HINT)});
}

void gui_preinit()
{
    std::fill(std::begin(obj), std::end(obj), nullptr);
    win[WID_MAIN] = nullptr;
    wsig[WID_MAIN] = 0;
}

BOOL gui_init()
{
    if (!open_classes())
        return false;

    uint32 preselect = 0;
    obj[OID_LANGUAGE] = nullptr;
    if (setup_languages(&preselect)) {
        CONST_STRPTR shown[std::size(languages)] = {};
        for (std::size_t i = 0; languages[i]; ++i) shown[i] = in_window(languages[i]);
        obj[OID_LANGUAGE] = class_iface(CHOOSER_GADGET).NewChooser(OID_LANGUAGE, shown, preselect);
    }

    Picture *screen_picture = open_theme_picture("video-display", SCREEN_BUTTON_SIZE);
    Picture *banner = open_picture(progdir_path("kt.iff"));
    obj[OID_WIN_MAIN] = make_window(banner, screen_picture);
    if (!obj[OID_WIN_MAIN]) {
        gui_preinit(); // the gadgets went with the groups that failed
        error_requestf(KT_TR("Error", "Unable to create GUI"));
        return false;
    }

    set_gui_from_config();
    // What the player sees now: a setting saved with another value is one the player
    // changed, and goes on top of a file that another program changed meanwhile.
    config_note_shown(set_config_from_gui);
    win[WID_MAIN] = WindowOpen(obj[OID_WIN_MAIN]);
    if (!win[WID_MAIN]) {
        error_requestf(KT_TR("Error", "Unable to open the GUI"));
        return false;
    }
    AskServicesAfterFirstPaint(obj[OID_WIN_MAIN], {.gpus = show_gpus, .game_mode = show_game_mode});
    wsig[WID_MAIN] = WindowSignalMask(obj[OID_WIN_MAIN]);
    gui_sigs |= wsig[WID_MAIN];
    return true;
}

void gui_shut()
{
    if (obj[OID_WIN_MAIN]) {
        DisposeObject(obj[OID_WIN_MAIN]);
        obj[OID_WIN_MAIN] = nullptr;
    }
    for (auto c = std::rbegin(classes); c != std::rend(classes); ++c)
        dropLibIFace(&c->base, &c->iface);
}

// --- Events and the game ---------------------------------------------------------

BOOL launch_game()
{
    const std::string game = progdir_path("KarthosDemo");
    if (game.empty()) { // never a game in the current directory instead
        error_requestf(KT_TR("Error", "Unable to find the launcher's directory\n%s"),
                       program_dir_error().c_str());
        return false;
    }
    static constexpr CONST_STRPTR STREAM_NAMES[] = {KT_TR("Error", "standard input"),
                                                    KT_TR("Error", "standard output"),
                                                    KT_TR("Error", "standard error")};
    int handles[3] = {-1, -1, -1};
    CONST_STRPTR failed = nullptr; // the stream that could not be handed on
    int error = 0;
    for (int s = 0; s < 3 && !failed; ++s) {
        handles[s] = dup_std_stream(static_cast<StdStream>(s));
        if (handles[s] < 0) {
            failed = translated("Error", STREAM_NAMES[s]);
            error = errno;
        }
    }
    const pid_t pid = failed ? -1
                             : spawn_detached({.program = game,
                                               .working_dir = program_dir(),
                                               .in = handles[0],
                                               .out = handles[1],
                                               .err = handles[2],
                                               .min_stack = GAME_STACK,
                                               .environment = gpu_environment()});
    const bool started = pid > 0;
    if (started)
        register_game(pid);
    if (!failed && !started)
        error = errno;
    // The game has copies of its own; these were only to hand over.
    for (const int handle : handles) close_handle(handle);
    if (!started) // the game is not tried without its streams: the player is told why
        error_requestf(KT_TR("Error", "Unable to launch Karthos\n%s: %s"),
                       failed ? failed : "KarthosDemo", std::strerror(error));
    return started;
}

// "Save & Launch": the file is written before the game starts, so that the game
// finds the new settings, complete. The game starts even when the file could not
// be written (the player has been told): it then runs on the settings it had.
static void save_and_launch()
{
    set_config_from_gui();
    config_save();
    launch_game();
}

static void handle_gadget(uint32 id, BOOL *pleasequit)
{
    switch (id) {
    case OID_SCREENSEL:
        pick_screen_mode();
        break;
    case OID_GFX_MODE:
        setDisplayGadgetFromIndex(chooser_selection(obj[OID_GFX_MODE]));
        break;
    case OID_SAVE_LAUNCH:
        save_and_launch();
        *pleasequit = true;
        break;
    case OID_SAVE_QUIT:
        set_config_from_gui();
        *pleasequit = true;
        break;
    case OID_QUIT:
        *pleasequit = true;
        break;
    default: // check boxes and the language are read when saving
        break;
    }
}

BOOL gui_handler(uint32 gotsigs)
{
    BOOL pleasequit = false;
    if (!(gotsigs & wsig[WID_MAIN]))
        return false;
    uint16 code = 0;
    for (uint32 result; (result = WindowHandleInput(obj[OID_WIN_MAIN], &code)) != WMHI_LASTMSG;) {
        if (pleasequit)
            continue; // clicks queued behind the decision to end act no more
        switch (result & WMHI_CLASSMASK) {
        case WMHI_CLOSEWINDOW:
            pleasequit = true;
            break;
        case WMHI_GADGETUP:
            handle_gadget(result & WMHI_GADGETMASK, &pleasequit);
            break;
        default:
            break;
        }
    }
    return pleasequit;
}
