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

// The widget of an object, for tests that look at what the user sees.
QWidget *object_widget(Object *object);

} // namespace platform
