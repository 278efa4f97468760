#include "platform/host.h"

#include <QLocale>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

bool directory_exists(const std::string &path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

std::string messages_locale()
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char *value = std::getenv(name); value && *value)
            return value;
    return {};
}

std::string user_language_code()
{
    const QString locale =
        QString::fromLocal8Bit(messages_locale()).section('.', 0, 0).section('@', 0, 0);
    if (locale.isEmpty() || locale == "C" || locale == "POSIX")
        return {};
    const QLocale::Language language = QLocale(locale).language();
    if (language == QLocale::AnyLanguage || language == QLocale::C)
        return {};
    return QLocale::languageToCode(language, QLocale::ISO639Part2T).toStdString();
}

} // namespace platform
