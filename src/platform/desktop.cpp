#include "platform/desktop.h"

#include "platform/files.h"

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {

namespace {

std::string data_home()
{
    if (const char *xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return xdg;
    const char *home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share";
}

// The Exec key's program: quoted, with the characters the quoting reserves escaped,
// then escaped once more as a string value of the file (and % as %%).
std::string exec_value(const std::string &program)
{
    std::string quoted = "\"";
    for (const char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += "\\\\"; // a backslash, written as a string value
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    return quoted + "\"";
}

int write_file(const std::string &path, const std::string &text, std::vector<std::string> &written,
               std::string &failed)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const int error = ec ? ec.value() : replace_file(path, text.data(), text.size());
    if (error)
        failed = path;
    else
        written.push_back(path);
    return error;
}

} // namespace

int install_desktop_entry(const DesktopEntry &entry, std::vector<std::string> &written,
                          std::string &failed)
{
    QFile icon_file(QString::fromUtf8(entry.icon_resource));
    if (!icon_file.open(QIODevice::ReadOnly)) {
        failed = entry.icon_resource;
        return ENOENT;
    }
    const QByteArray icon = icon_file.readAll();
    const std::string program = program_file();
    if (program.empty()) {
        failed = "/proc/self/exe";
        return ENOENT;
    }
    const std::string home = data_home(), id = entry.id;
    const std::string text = std::string("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=") +
                             entry.name + "\nComment=" + entry.comment +
                             "\nExec=" + exec_value(program) + "\nIcon=" + id +
                             "\nTerminal=false\nCategories=" + entry.categories + "\n";
    if (const int e = write_file(home + "/icons/hicolor/scalable/apps/" + id + ".svg",
                                 icon.toStdString(), written, failed))
        return e;
    return write_file(home + "/applications/" + id + ".desktop", text, written, failed);
}

} // namespace platform
