#include "platform/window.h"

#include "platform/qt_private.h"
#include "platform/signals.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <deque>
#include <memory>

namespace platform {

struct Object {
    virtual ~Object() = default;
    // The widget, owned by this object until it is placed into a parent.
    std::unique_ptr<QWidget> owned;
    QWidget *widget = nullptr;

    explicit Object(QWidget *w) : owned(w), widget(w) {}
    Object(const Object &) = delete;
    Object &operator=(const Object &) = delete;

    // Hands the widget to a parent; the object stays alive for reads and writes.
    QWidget *adopt() { return owned.release(); }
};

namespace {

class WindowObject;

// The top-level widget: turns the window manager's close request into an event word.
class WindowWidget : public QWidget {
  public:
    explicit WindowWidget(WindowObject *owner) : owner_(owner) {}

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    WindowObject *owner_;
};

class WindowObject : public Object {
  public:
    WindowObject() : Object(new WindowWidget(this)) {}
    ~WindowObject() override {
        children.clear(); // their widgets go with the window's widget
        if (signum >= 0) FreeSignal(signum);
    }

    void post(uint32 event) {
        events.push_back(event);
        if (signum >= 0) Signal(1u << signum);
    }

    std::deque<uint32> events;
    std::unique_ptr<Object> layout;
    std::vector<std::unique_ptr<Object>> children;
    int32 signum = -1;
    bool open = false;
};

void WindowWidget::closeEvent(QCloseEvent *event) {
    // The program decides when the window goes; the request is only reported.
    event->ignore();
    owner_->post(WMHI_CLOSEWINDOW);
}

class GroupObject : public Object {
  public:
    GroupObject() : Object(new QWidget) {}
    std::vector<std::unique_ptr<Object>> children;
};

WindowObject *as_window(Object *object) {
    return dynamic_cast<WindowObject *>(object);
}

} // namespace

Object *NewWindowObject(const WindowAttrs &attrs) {
    std::unique_ptr<Object> layout(attrs.layout);
    if (!layout) return nullptr;
    auto window = std::make_unique<WindowObject>();
    QWidget *w = window->widget;
    w->setWindowTitle(QString::fromUtf8(attrs.title));
    auto *box = new QVBoxLayout(w);
    box->setSizeConstraint(QLayout::SetFixedSize); // not resizable
    box->addWidget(layout->adopt());
    window->layout = std::move(layout);
    return window.release();
}

Object *NewVGroup(Object *const *children, int count) {
    auto group = std::make_unique<GroupObject>();
    auto *box = new QVBoxLayout(group->widget);
    box->setContentsMargins(0, 0, 0, 0);
    bool complete = true;
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<Object> child(children[i]);
        if (!child) {
            complete = false;
            continue;
        }
        box->addWidget(child->adopt());
        group->children.push_back(std::move(child));
    }
    return complete ? group.release() : nullptr;
}

void DisposeObject(Object *object) {
    delete object;
}

Window *WindowOpen(Object *window_object) {
    WindowObject *window = as_window(window_object);
    if (!window) return nullptr;
    if (window->signum < 0 && (window->signum = AllocSignal()) < 0) return nullptr;
    QWidget *w = window->widget;
    w->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        w->move(screen->availableGeometry().center() - w->rect().center());
    w->show();
    w->raise();
    w->activateWindow();
    window->open = true;
    return reinterpret_cast<Window *>(window);
}

uint32 WindowSignalMask(Object *window_object) {
    const WindowObject *window = as_window(window_object);
    return window && window->open ? 1u << window->signum : 0;
}

uint32 WindowHandleInput(Object *window_object, uint16 *code) {
    WindowObject *window = as_window(window_object);
    if (code) *code = 0;
    if (!window || window->events.empty()) return WMHI_LASTMSG;
    const uint32 event = window->events.front();
    window->events.pop_front();
    return event;
}

QWidget *window_widget(Window *window)
{
    auto *object = reinterpret_cast<WindowObject *>(window);
    return object && object->open ? object->widget : nullptr;
}

void testing::post_window_event(Object *window_object, uint32 event) {
    if (WindowObject *window = as_window(window_object)) window->post(event);
}

} // namespace platform
