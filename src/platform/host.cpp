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

std::string user_language_code()
{
    const char *value = nullptr;
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        value = std::getenv(name);
        if (value && *value)
            break;
    }
    if (!value || !*value)
        return {};
    const QString locale = QString::fromLocal8Bit(value).section('.', 0, 0).section('@', 0, 0);
    if (locale == "C" || locale == "POSIX")
        return {};
    const QLocale::Language language = QLocale(locale).language();
    if (language == QLocale::AnyLanguage || language == QLocale::C)
        return {};
    return QLocale::languageToCode(language, QLocale::ISO639Part2T).toStdString();
}

} // namespace platform
