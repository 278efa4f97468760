// The launcher's window as the program opens it, on two offscreen screens (1024x768, 800x600).
#pragma once

#include <QIcon>

#include "gui.h"
#include "platform/qt_private.h"
#include "test_support.h"

#include <QWidget>

class WindowTest : public PrefsDirTest {
  protected:
    void TearDown() override
    {
        gui_shut();
        dropLibIFace(&IntuitionBase, &IIntuition);
        PrefsDirTest::TearDown();
    }

    // A fresh run up to the window: language packs ("DE FR"), LANG, preferences (null: none).
    BOOL open_window(const char *file, const std::string &packs = "", const char *lang = "C")
    {
        write_file(dir / "screens.json", R"({"screens": [{"name": "a", "width": 1024,
            "height": 768}, {"name": "b", "width": 800, "height": 600}]})");
        setenv("QT_QPA_PLATFORM",
               ("offscreen:configfile=" + (dir / "screens.json").string()).c_str(), 1);
        platform::install_toolkit_libraries();
        EXPECT_TRUE(IntuitionBase ||
                    getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition));
        // The offscreen display names no icon folders, as a desktop's does.
        QIcon::setThemeSearchPaths({"/usr/share/icons"});
        gui_shut();
        config_shut();
        platform::testing::clear_library_calls();
        fs::remove_all(dir / "data");
        std::istringstream words(packs);
        for (std::string p; words >> p;) fs::create_directories(dir / "data/missions" += p);
        file ? write_file(prefs(), file) : void(fs::remove(prefs()));
        unsetenv("LC_ALL"), unsetenv("LC_MESSAGES"), setenv("LANG", lang, 1);
        hwWidth = 640, hwHeight = 480, bpp = 16, Hz = 0.0f;
        EXPECT_TRUE(config_init());
        gui_preinit();
        return gui_init();
    }

    static QWidget *window() { return platform::window_widget(win[WID_MAIN]); }
    template <class W> static W *widget(int id)
    {
        return window()->findChild<W *>(QStringLiteral("gadget%1").arg(id));
    }
};
