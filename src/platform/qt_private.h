// Qt-side details shared by the modules of the window toolkit; nothing outside
// src/platform/ includes this.
#pragma once

#include "platform/window.h"

#include <QPixmap>
#include <string>

class QWidget;

namespace platform {

// A picture ready to be shown in the window.
struct Picture {
    QPixmap pixmap;
    // Or, until it is first shown, where it is to come from: a file to decode or an
    // icon of the theme to look up, and its size.
    std::string file = {};
    QSize size = {};
    std::string icon = {};
};

// The desktop window of an open window, as parent for dialogs; null when not open.
QWidget *window_widget(Window *window);

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
