// Qt-side details shared by the modules of the window toolkit; nothing outside
// src/platform/ includes this.
#pragma once

#include "platform/files.h"
#include "platform/window.h"

#include <QImage>
#include <QPixmap>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace platform {

// A picture for the window, made once the window shows: from an IFF file, read whole,
// or an icon of the theme; and the size it takes meanwhile.
struct Picture {
    std::shared_ptr<const FileContents> file;
    QSize size;
    std::string icon = {};
};

// The file's picture; null when it has none or its pixels are damaged.
QImage decode_picture(const Picture &picture);
// The icon for this screen; null when no theme has it.
QPixmap theme_icon(const Picture &picture);

// The desktop window of an open window, as parent for dialogs; null when not open.
QWidget *window_widget(Window *window);

// The widget of an object; null for none.
QWidget *object_widget(Object *object);
// Runs `work` once, right after the widget is first painted: for what the window need
// not wait for before it shows.
void after_first_paint(QWidget *widget, std::function<void()> work);

// What the toolkit's libraries hand out (see ClassIFace and RequesterIFace).
Object *NewWindowObject(const WindowAttrs &attrs);
Object *NewGroup(const GroupAttrs &attrs, const std::vector<Child> &children);
Object *NewSpace();
Object *NewButton(uint32 id, CONST_STRPTR text, Picture *picture, int32 min_size);
Object *NewChooser(uint32 id, CONST_STRPTR const *labels, uint32 selected);
Object *NewCheckBox(uint32 id, CONST_STRPTR text);
Object *NewImage(Picture *picture);
bool show_error_requester(CONST_STRPTR title, CONST_STRPTR body, CONST_STRPTR button);

} // namespace platform
