#include "platform/translate.h"

#include "platform/host.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>
#include <unordered_map>

namespace platform {

namespace {

constexpr QLatin1String OWN_DIR(":/i18n");

// The code ("de") of the first UI language the launcher has a translation for; empty for
// English. The C and POSIX locales mean English whatever LANGUAGE says, as for gettext.
QString chosen_language()
{
    const QString messages = QString::fromLocal8Bit(messages_locale()).section('.', 0, 0);
    if (messages.isEmpty() || messages == "C" || messages == "POSIX")
        return {};
    for (const QString &name : QLocale::system().uiLanguages()) {
        const QLocale::Language language = QLocale(name).language();
        if (language == QLocale::English || language == QLocale::C)
            return {}; // English comes first
        QString code = QLocale::languageToCode(language);
        if (QFile::exists(OWN_DIR + "/ktlaunch_" + code + ".qm"))
            return code;
    }
    return {};
}

// The texts in the chosen language, kept as UTF-8 for the whole run: they are asked
// for before the application object exists, while it does, and without one.
struct Catalogue {
    QString language = chosen_language();
    QTranslator own;
    bool loaded = !language.isEmpty() && own.load("ktlaunch_" + language, QString(OWN_DIR));
    std::unordered_map<std::string, std::string> texts; // by context, '\4', English text
    std::unique_ptr<QTranslator> toolkit;
};

Catalogue &catalogue()
{
    static Catalogue user;
    return user;
}

} // namespace

CONST_STRPTR translated(CONST_STRPTR context, CONST_STRPTR text)
{
    Catalogue &c = catalogue();
    if (!c.loaded) // English
        return text;
    const auto [entry, added] = c.texts.try_emplace(std::string(context) + '\4' + text);
    if (added) {
        const QString found = c.own.translate(context, text);
        entry->second = found.isEmpty() ? text : found.toStdString();
    }
    return entry->second.c_str();
}

std::vector<std::string> translation_languages()
{
    std::vector<std::string> codes;
    for (const QString &file :
         QDir(QString(OWN_DIR)).entryList({"ktlaunch_*.qm"}, QDir::Files, QDir::Name))
        codes.push_back(file.section('_', 1).section('.', 0, 0).toStdString());
    return codes;
}

std::string translated_in(const std::string &language, CONST_STRPTR context, CONST_STRPTR text)
{
    QTranslator translator;
    if (!translator.load(QString::fromStdString("ktlaunch_" + language), QString(OWN_DIR)))
        return text;
    const QString found = translator.translate(context, text);
    return found.isEmpty() ? text : found.toStdString();
}

void install_toolkit_translation()
{
    Catalogue &c = catalogue();
    if (c.language.isEmpty())
        return;
    if (!c.toolkit) {
        c.toolkit = std::make_unique<QTranslator>();
        (void)c.toolkit->load("qtbase_" + c.language,
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }
    if (!c.toolkit->isEmpty()) // each application object the program makes
        QCoreApplication::installTranslator(c.toolkit.get());
}

} // namespace platform
