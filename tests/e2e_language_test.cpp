// The launcher in the desktop's language: its texts translated, its stored words not.
#include "e2e_support.h"

namespace {

using namespace e2e;

// The desktop's settings; the window's and the error's titles, Save & Launch's key, --help.
struct Desktop {
    const char *name;
    std::string env, title, error, launch, usage;
};

class Languages : public LauncherE2E, public ::testing::WithParamInterface<Desktop> {};

// Save & Launch by its accelerator, without a game: the error translated, the file as in English.
TEST_P(Languages, TranslateTheTextsAndStoreTheSameWords)
{
    const Desktop &d = GetParam();
    for (const char *pack : {"DE", "FR"})
        fs::create_directories(game.path() / "data/missions" += pack);
    fs::remove(game.path() / "KarthosDemo");
    const std::string clean = "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG " + d.env;
    auto help = game.start(clean, "--help");
    EXPECT_EQ(help->wait(), 0);
    EXPECT_EQ(help->output().substr(0, help->output().find(' ')), d.usage);
    write_file(game.prefs(), "[Config]\nLanguage = french\nVideocard = Vexel\n");
    launcher = game.start(clean + " " + vars());
    keys(d.launch, d.title);
    keys("Return", d.error);
    EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
    EXPECT_EQ(prefs(), "[Config]\n\n\tLanguage = french\n\tVideocard = Vexel\n\tWindowed = 0\n"
                       "\tSyncToScreen = 0\n\tShowFPS = 0\n\n[Warp3D]\n\n\tSize = 640x480/16\n");
}

const std::string EN = "Karthos Preferences";
// English first, though German follows; C whatever LANGUAGE says.
INSTANTIATE_TEST_SUITE_P(
    Desktops, Languages,
    ::testing::Values(
        Desktop{"German", "LANG=de_DE", "Karthos-Einstellungen", "Fehler", "alt+s", "Aufruf:"},
        Desktop{"FrenchByLanguage", "LANG=en_GB.UTF-8 LANGUAGE=fr:de", "Pr.+f.+rences de Karthos",
                "Erreur", "alt+l", "Utilisation"},
        Desktop{"EnglishFirst", "LANG=de_DE.UTF-8 LANGUAGE=en:de", EN, "Error", "alt+l", "Usage:"},
        Desktop{"C", "LANG=de_DE.UTF-8 LC_ALL=C LANGUAGE=fr", EN, "Error", "alt+l", "Usage:"}),
    [](const auto &test) { return std::string(test.param.name); });

} // namespace
