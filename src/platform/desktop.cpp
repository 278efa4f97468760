#include "platform/desktop.h"

#include "platform/files.h"
#include "platform/translate.h"

#include <QFile>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {

namespace {

// $XDG_DATA_HOME, else ~/.local/share; empty when neither names a directory (a relative
// one is ignored, as the XDG specification asks).
std::string data_home()
{
    if (const char *xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return xdg;
    const char *home = std::getenv("HOME");
    return home && *home == '/' ? std::string(home) + "/.local/share" : std::string();
}

// Whether an entry's value can hold `text`: UTF-8, without control characters (which no
// escape of the format brings back, except a newline that would end the value too).
bool carried(const std::string &text)
{
    const bool control = std::any_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
    return !control && QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
                               .toUtf8()
                               .toStdString() == text;
}

// The Exec key's command for `program`: one quoted argument, with the characters the
// quoting reserves escaped and % doubled, all then written as a string value, whose own
// escape doubles each backslash. A path with a % is started through env: GLib looks the
// program up before it undoes the %%, and would find none.
std::string exec_value(const std::string &program)
{
    std::string quoted = program.find('%') == std::string::npos ? "\"" : "env \"";
    for (const char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c == '%' ? std::string("%%") : std::string(1, c);
    }
    quoted += '"';
    std::string value;
    for (const char c : quoted) value += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return value;
}

// "key=text", then "key[de]=..." for each language the launcher has, one a line.
std::string localised(const std::string &key, CONST_STRPTR text)
{
    std::string lines = key + "=" + text + "\n";
    for (const std::string &language : translation_languages())
        lines.append(key)
            .append("[" + language + "]=")
            .append(translated_in(language, "DesktopEntry", text))
            .append("\n");
    return lines;
}

std::string entry_text(const DesktopEntry &entry, const std::string &exec)
{
    std::string text = "[Desktop Entry]\nType=Application\n" + localised("Name", entry.name) +
                       localised("Comment", entry.comment) + "Exec=" + exec + "\nIcon=" + entry.id +
                       "\nTerminal=false\nCategories=" + entry.categories +
                       "\nStartupWMClass=" + entry.window_class + "\n";
    if (entry.action)
        text += std::string("Actions=") + entry.action + ";\n\n[Desktop Action " + entry.action +
                "]\n" + localised("Name", entry.action_name ? entry.action_name : entry.action) +
                "Exec=" + exec + " " + entry.action_option + "\n";
    return text;
}

// Empty, or why the file could not be written.
std::string write_file(const std::string &path, const std::string &text,
                       std::vector<std::string> &written)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    if (const int error = ec ? ec.value() : replace_file(path, text.data(), text.size()))
        return "cannot write " + path + ": " + file_error_text(error);
    written.push_back(path);
    return {};
}

} // namespace

std::string install_desktop_entry(const DesktopEntry &entry, std::vector<std::string> &written)
{
    QFile icon_file(QString::fromUtf8(entry.icon_resource));
    if (!icon_file.open(QIODevice::ReadOnly))
        return std::string("cannot read the icon ") + entry.icon_resource;
    const std::string program = program_file(), home = data_home(), id = entry.id;
    if (program.empty())
        return "cannot find the launcher's own file (/proc/self/exe)";
    if (!carried(program))
        return "a menu entry cannot start " + program +
               ": its path holds a control character or bytes that are not UTF-8; "
               "move the game to a directory with a plainer name";
    if (home.empty())
        return "no directory for the menu entry: neither XDG_DATA_HOME nor HOME is set";
    if (std::string why = write_file(home + "/icons/hicolor/scalable/apps/" + id + ".svg",
                                     icon_file.readAll().toStdString(), written);
        !why.empty())
        return why;
    return write_file(home + "/applications/" + id + ".desktop",
                      entry_text(entry, exec_value(program)), written);
}

} // namespace platform
