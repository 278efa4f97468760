#include "platform/window.h"

#include "platform/gamepad.h"
#include "platform/picture.h"
#include "platform/qt_private.h"
#include "platform/signals.h"

#include <QAccessibleWidget>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace platform {

// Every object owns its widget until a parent takes it, and owns its child objects
// for as long as it lives; a widget in a parent is deleted with that parent.
struct Object {
    explicit Object(QWidget *w) : owned(w), widget(w) {}
    virtual ~Object() = default;
    Object(const Object &) = delete;
    Object &operator=(const Object &) = delete;

    // Hands the widget to a parent; the object stays alive for reads and writes.
    QWidget *adopt() { return owned.release(); }

    std::vector<std::unique_ptr<Object>> children;
    std::unique_ptr<QWidget> owned;
    QWidget *widget;
};

// The handle of an open window that WindowOpen gives out.
struct Window {
    QWidget *widget = nullptr; // null while the window is not open
};

namespace {

class WindowObject;

// The style's look of a push button, with a ring inside the one that has the keyboard's
// focus: the default button's own look (a highlighted outline in Fusion) is otherwise
// the same, and the player could not tell which button Return and Space press.
class FocusRingStyle : public QProxyStyle {
  public:
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        QProxyStyle::drawControl(element, option, painter, widget);
        const QStyle::State shown = State_HasFocus | State_KeyboardFocusChange;
        if (element != CE_PushButton || (option->state & shown) != shown)
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(option->palette.color(QPalette::Highlight), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option->rect).adjusted(4, 4, -4, -4), 2, 2);
        painter->restore();
    }
};

// The top-level widget: the window manager's close request and Escape become the
// close event word; the program decides when the window really goes.
class WindowWidget : public QDialog {
  public:
    explicit WindowWidget(WindowObject *owner) : owner_(owner) {}
    void reject() override;
    WindowObject *owner() const { return owner_; }

  protected:
    void closeEvent(QCloseEvent *event) override
    {
        event->ignore();
        reject();
    }
    void keyPressEvent(QKeyEvent *event) override;

  private:
    WindowObject *owner_;
};

class WindowObject : public Object {
  public:
    WindowObject() : Object(new WindowWidget(this)) {}
    ~WindowObject() override
    {
        children.clear(); // before the widgets they point into go with the window
        owned.reset();
        if (signum >= 0)
            FreeSignal(signum);
    }

    void post(uint32 event)
    {
        events.push_back(event);
        if (signum >= 0)
            Signal(1u << signum);
    }

    std::deque<uint32> events;
    QMap<QString, QString> opened_with; // what each gadget showed as it appeared
    QString about;
    QPointer<Gamepads> pads;      // once the window has been painted, unless pads cannot be read
    FocusRingStyle buttons_style; // outlives the window's widgets, which go in the destructor
    int32 signum = -1;
    Window handle;
};

void WindowWidget::reject()
{
    owner_->post(WMHI_CLOSEWINDOW);
}

void WindowWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1 && !owner_->about.isEmpty()) {
        QMessageBox::about(this, windowTitle(), owner_->about);
        return;
    }
    QDialog::keyPressEvent(event);
}

// Gadget events go to the window that holds the gadget once it is open; until then
// there is nobody to tell.
void report(QWidget *gadget, uint32 id)
{
    if (auto *window = dynamic_cast<WindowWidget *>(gadget->window()))
        window->owner()->post(WMHI_GADGETUP | id);
}

// "Save & _Launch" in Qt's words: "Save && &Launch".
QString mnemonic_text(CONST_STRPTR text)
{
    return QString::fromUtf8(text).replace('&', "&&").replace('_', '&');
}

// Children that all take one share of a row.
bool equal_shares(const std::vector<Child> &children)
{
    return std::all_of(children.begin(), children.end(), [&](const Child &c) {
        return c.weight == children.front().weight && c.weight > 0;
    });
}

// Equal shares mean equal widths: every child with a size of its own gets the width
// of the widest, so that a longer text does not make its button larger.
void match_widths(const std::vector<std::unique_ptr<Object>> &children)
{
    int widest = 0;
    for (const auto &child : children) widest = std::max(widest, child->widget->sizeHint().width());
    for (const auto &child : children)
        if (child->widget->sizeHint().isValid())
            child->widget->setMinimumWidth(widest);
}

// Runs `work` once, right after the widget is first painted: for what the window
// need not wait for before it shows (decoding pictures, looking up icons).
class AfterFirstPaint : public QObject {
  public:
    AfterFirstPaint(QWidget *widget, std::function<void()> work)
        : QObject(widget), work_(std::move(work))
    {
        widget->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && work_) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, watched, std::exchange(work_, {}));
        }
        return false;
    }

  private:
    std::function<void()> work_;
};

} // namespace

void after_first_paint(QWidget *widget, std::function<void()> work)
{
    new AfterFirstPaint(widget, std::move(work));
}

QWidget *object_widget(Object *object)
{
    return object ? object->widget : nullptr;
}

namespace {

// A theme icon that is looked up once the window shows; "X" when there is none.
void defer_icon(QPushButton *button, std::unique_ptr<Picture> picture)
{
    QPixmap blank(picture->size);
    blank.fill(Qt::transparent);
    button->setIcon(blank);
    button->setIconSize(picture->size);
    new AfterFirstPaint(button, [button, picture = std::shared_ptr<Picture>(std::move(picture))] {
        const QPixmap found = theme_icon(*picture);
        if (found.isNull()) {
            button->setIcon(QIcon());
            button->setText("X");
        } else {
            button->setIcon(found);
        }
    });
}

// Shrinks the banner, keeping its proportions, until the window with its title bar fits
// `room`, and puts it in the middle of it, its title bar on the screen.
void place_on(QWidget *w, const QRect &room)
{
    const int title = w->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    auto *banner = w->findChild<QLabel *>("image");
    const QSize over(w->width() - room.width(), w->height() + title - room.height());
    if (banner && !banner->isHidden() && (over.width() > 0 || over.height() > 0)) {
        const QSize picture(banner->minimumWidth(), banner->maximumHeight());
        const QSize fits = picture.scaled(
            (picture - over.expandedTo(QSize(0, 0))).expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
        banner->setMinimumWidth(fits.width());
        banner->setFixedHeight(fits.height());
        w->adjustSize();
    }
    const QPoint centre = room.center() - QRect(0, 0, w->width(), w->height() + title).center();
    w->move(std::max(centre.x(), room.left()), std::max(centre.y(), room.top()));
}

// A chooser as screen readers meet it: named by its row's label, with its entry as its
// value. (Qt's own names it by its entry on Linux, which leaves the label to a relation
// that not every screen reader follows.)
class NamedChooser : public QAccessibleWidget {
  public:
    explicit NamedChooser(QComboBox *chooser) : QAccessibleWidget(chooser, QAccessible::ComboBox) {}
    QString text(QAccessible::Text t) const override
    {
        const auto *chooser = static_cast<QComboBox *>(widget());
        if (t == QAccessible::Value ||
            (t == QAccessible::Name && chooser->accessibleName().isEmpty()))
            return chooser->currentText();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override
    {
        return QAccessibleWidget::actionNames() << showMenuAction();
    }
    void doAction(const QString &action) override
    {
        if (action == showMenuAction())
            static_cast<QComboBox *>(widget())->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface *named_chooser(const QString &class_name, QObject *object)
{
    auto *chooser = qobject_cast<QComboBox *>(object);
    return class_name == QLatin1String("QComboBox") && chooser ? new NamedChooser(chooser)
                                                               : nullptr;
}

// Puts `widget` into the form as row `row` (-1: last), under the child's label.
void insert_form_row(QFormLayout *form, int row, const Child &child, QWidget *widget)
{
    // The row's label is the field's buddy: screen readers read it with the field.
    // A blank label only puts the field in the field column.
    const QString label = QString::fromUtf8(child.label ? child.label : "").trimmed();
    if (!label.isEmpty() && widget->accessibleName().isEmpty())
        widget->setAccessibleName(label); // rather than a chooser's value
    if (child.label)
        form->insertRow(row, label, widget);
    else
        form->insertRow(row, widget);
}

// The object among `root` and its descendants that holds `child`; null for none.
Object *holder_of(Object *root, const Object *child)
{
    for (const auto &c : root->children) {
        if (c.get() == child)
            return root;
        if (Object *found = holder_of(c.get(), child))
            return found;
    }
    return nullptr;
}

std::unique_ptr<Object> take(Object *object)
{
    return std::unique_ptr<Object>(object);
}

QString gadget_name(uint32 id)
{
    return QStringLiteral("gadget%1").arg(id);
}

QPushButton *find_button(QWidget *window, int32 id)
{
    return id < 0 ? nullptr
                  : window->findChild<QPushButton *>(gadget_name(static_cast<uint32>(id)));
}

// The line under the window's contents that names the pad's buttons, hidden until a pad
// is there; null without a text for it.
QLabel *add_pad_hint(QVBoxLayout *box, CONST_STRPTR text)
{
    if (!text)
        return nullptr;
    auto *hint = new QLabel;
    hint->setObjectName("PadHint");
    hint->setAlignment(Qt::AlignCenter);
    // In the window's text colour: the placeholder grey falls below 4.5:1 on a light palette.
    hint->hide();
    box->addWidget(hint);
    return hint;
}

// What a gadget shows; null for anything else.
QString gadget_value(const QWidget *gadget)
{
    if (const auto *check = qobject_cast<const QCheckBox *>(gadget))
        return QString::number(check->isChecked());
    if (const auto *chooser = qobject_cast<const QComboBox *>(gadget))
        return QString::number(chooser->currentIndex());
    if (const auto *field = qobject_cast<const QLineEdit *>(gadget))
        return field->text();
    return {};
}

// What the window's gadgets show, by gadget.
QMap<QString, QString> gadget_values(const QWidget *window)
{
    QMap<QString, QString> values;
    for (const QWidget *gadget : window->findChildren<QWidget *>())
        if (const QString value = gadget_value(gadget); !value.isNull())
            values.insert(gadget->objectName(), value);
    return values;
}

// Game controllers are looked for once the window shows: SDL and the pads cost nothing
// before that.
void start_pads_after_first_paint(WindowObject *window, const WindowAttrs &attrs, QLabel *hint)
{
    QWidget *w = window->widget;
    PadTarget target{w, find_button(w, attrs.default_gadget), find_button(w, attrs.back_gadget),
                     find_button(w, attrs.quit_gadget)};
    target.edited = [window] { return gadget_values(window->widget) != window->opened_with; };
    if (hint)
        target.changed = [hint, text = QString::fromUtf8(attrs.pad_hint)](const PadGlyphs *pad) {
            if (pad)
                hint->setText(QString(text)
                                  .replace("{confirm}", pad->confirm)
                                  .replace("{cancel}", pad->cancel)
                                  .replace("{start}", pad->start)
                                  .replace("{back}", pad->back));
            hint->setVisible(pad != nullptr);
        };
    new AfterFirstPaint(w, [window, target] { window->pads = Gamepads::start(target); });
}

} // namespace

Object *NewWindowObject(const WindowAttrs &attrs)
{
    std::unique_ptr<Object> layout = take(attrs.layout);
    if (!layout)
        return nullptr;
    auto window = std::make_unique<WindowObject>();
    auto *w = static_cast<WindowWidget *>(window->widget);
    w->setWindowTitle(QString::fromUtf8(attrs.title));
    w->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    if (attrs.icon) // decoded once the window shows, as the other pictures are
        new AfterFirstPaint(
            w, [w, icon = QString::fromUtf8(attrs.icon)] { w->setWindowIcon(QIcon(icon)); });
    if (attrs.about) {
        window->about = QString::fromUtf8(attrs.about);
        w->setToolTip(window->about + "\n(F1)");
    }
    if (attrs.description) // else screen readers read the tooltip, the about line
        w->setAccessibleDescription(QString::fromUtf8(attrs.description));
    auto *box = new QVBoxLayout(w);
    box->setSizeConstraint(QLayout::SetFixedSize); // the user cannot resize it
    box->addWidget(layout->adopt());
    if (QPushButton *button = find_button(w, attrs.default_gadget))
        button->setDefault(true);
    for (QPushButton *button : w->findChildren<QPushButton *>())
        button->setStyle(&window->buttons_style);
    start_pads_after_first_paint(window.get(), attrs, add_pad_hint(box, attrs.pad_hint));
    window->children.push_back(std::move(layout));
    return window.release();
}

Object *NewGroup(const GroupAttrs &attrs, const std::vector<Child> &children)
{
    std::vector<std::unique_ptr<Object>> taken;
    bool complete = true;
    for (const Child &child : children) {
        complete = complete && child.object;
        taken.push_back(take(child.object));
    }
    if (!complete)
        return nullptr;

    QWidget *container =
        attrs.frame_title ? new QGroupBox(QString::fromUtf8(attrs.frame_title)) : new QWidget;
    auto group = std::make_unique<Object>(container);
    QBoxLayout *box = nullptr;
    QFormLayout *form = nullptr;
    if (attrs.labelled) {
        form = new QFormLayout(container);
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    } else {
        box = attrs.horizontal ? static_cast<QBoxLayout *>(new QHBoxLayout(container))
                               : new QVBoxLayout(container);
    }
    if (!attrs.frame_title)
        container->layout()->setContentsMargins(0, 0, 0, 0);

    auto it = taken.begin();
    for (const Child &child : children) {
        std::unique_ptr<Object> &object = *it++;
        QWidget *widget = object->adopt();
        if (form)
            insert_form_row(form, -1, child, widget);
        else
            box->addWidget(widget, std::max(child.weight, 0),
                           attrs.align_left ? Qt::AlignVCenter : Qt::Alignment());
        group->children.push_back(std::move(object));
    }
    if (attrs.horizontal && equal_shares(children))
        match_widths(group->children);
    return group.release();
}

bool AddGroupRow(Object *window_object, Object *after, const Child &row)
{
    std::unique_ptr<Object> object = take(row.object);
    auto *window = dynamic_cast<WindowObject *>(window_object);
    Object *group = window && after ? holder_of(window, after) : nullptr;
    auto *form = group ? qobject_cast<QFormLayout *>(group->widget->layout()) : nullptr;
    int position = -1;
    QFormLayout::ItemRole role{};
    if (form)
        form->getWidgetPosition(after->widget, &position, &role);
    if (!object || position < 0)
        return false;
    QWidget *widget = object->adopt();
    insert_form_row(form, position + 1, row, widget);
    QWidget::setTabOrder(after->widget, widget);
    // A row that comes later counts as unchanged with the value it came with.
    window->opened_with.insert(widget->objectName(), gadget_value(widget));
    group->children.insert(std::find_if(group->children.begin(), group->children.end(),
                                        [&](const auto &c) { return c.get() == after; }) +
                               1,
                           std::move(object));
    return true;
}

Object *NewSpace()
{
    auto *space = new QWidget;
    space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    space->setFocusPolicy(Qt::NoFocus);
    return new Object(space);
}

Object *NewButton(uint32 id, CONST_STRPTR text, Picture *picture, int32 min_size)
{
    std::unique_ptr<Picture> pic(picture);
    auto *button = new QPushButton;
    button->setObjectName(gadget_name(id));
    button->setAutoDefault(true); // Return on the focused button presses it
    const bool has_picture = pic != nullptr;
    if (has_picture)
        defer_icon(button, std::move(pic));
    else
        button->setText(mnemonic_text(text));
    if (min_size > 0) {
        // A picture button: square, as large as its contents need, never narrower.
        const QSize hint = has_picture ? button->sizeHint() : QSize(0, button->sizeHint().height());
        const int side = std::max({min_size, hint.width(), hint.height()});
        button->setFixedSize(side, side);
    }
    QObject::connect(button, &QPushButton::clicked, [button, id] { report(button, id); });
    return new Object(button);
}

Object *NewChooser(uint32 id, CONST_STRPTR const *labels, uint32 selected)
{
    // The factory last installed is asked first: ahead of Qt's, which every new
    // application object installs again.
    QAccessible::removeFactory(named_chooser);
    QAccessible::installFactory(named_chooser);
    auto *chooser = new QComboBox;
    chooser->setObjectName(gadget_name(id));
    for (CONST_STRPTR const *label = labels; *label; ++label)
        chooser->addItem(QString::fromUtf8(*label));
    chooser->setCurrentIndex(static_cast<int>(selected));
    QObject::connect(chooser, &QComboBox::activated, [chooser, id] { report(chooser, id); });
    return new Object(chooser);
}

Object *NewCheckBox(uint32 id, CONST_STRPTR text)
{
    auto *check = new QCheckBox(mnemonic_text(text));
    check->setObjectName(gadget_name(id));
    QObject::connect(check, &QCheckBox::clicked, [check, id] { report(check, id); });
    return new Object(check);
}

Object *NewTextField(uint32 id)
{
    auto *field = new QLineEdit;
    field->setObjectName(gadget_name(id));
    field->setReadOnly(true);
    field->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    field->setFocusPolicy(Qt::NoFocus); // nothing to edit: Tab skips it
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance("1920x1080 32Bit 144.00 Hz") +
                           16);
    return new Object(field);
}

Object *NewImage(Picture *picture)
{
    if (!picture)
        return nullptr;
    // The picture takes its place at once and is decoded once the window shows; if it
    // cannot be decoded then, it gives its place back.
    const std::shared_ptr<Picture> shared(picture);
    auto *label = new QLabel;
    // Its height now, and at least its width: a wider window keeps it centred.
    label->setMinimumWidth(picture->size.width());
    label->setFixedHeight(picture->size.height());
    new AfterFirstPaint(label, [label, shared] {
        const QImage image = decode_picture(*shared);
        // Shown smaller where the screen has no room for all of it (see place_on).
        const QSize room(label->minimumWidth(), label->maximumHeight());
        if (image.isNull())
            label->hide();
        else if (image.size() != room)
            label->setPixmap(QPixmap::fromImage(
                image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        else
            label->setPixmap(QPixmap::fromImage(image));
    });
    label->setObjectName("image");
    label->setAlignment(Qt::AlignCenter);
    return new Object(label);
}

void SetGadgetHint(Object *gadget, CONST_STRPTR hint)
{
    if (!gadget)
        return;
    gadget->widget->setToolTip(QString::fromUtf8(hint));
    gadget->widget->setAccessibleDescription(QString::fromUtf8(hint));
}

void SetGadgetName(Object *gadget, CONST_STRPTR name)
{
    if (gadget)
        gadget->widget->setAccessibleName(QString::fromUtf8(name));
}

void DisposeObject(Object *object)
{
    delete object;
}

uint32 GetAttr(Attr attr, Object *object, uint32 *storage)
{
    if (!object)
        return 0;
    switch (attr) {
    case Attr::GA_Selected:
        if (auto *check = qobject_cast<QCheckBox *>(object->widget)) {
            *storage = check->isChecked() ? 1 : 0;
            return 1;
        }
        return 0;
    case Attr::CHOOSER_Selected:
        if (auto *chooser = qobject_cast<QComboBox *>(object->widget)) {
            *storage = static_cast<uint32>(std::max(chooser->currentIndex(), 0));
            return 1;
        }
        return 0;
    case Attr::GA_Disabled:
        *storage = object->widget->isEnabled() ? 0 : 1;
        return 1;
    }
    return 0;
}

std::string GetChooserLabel(Object *chooser, uint32 index)
{
    const auto *box = chooser ? qobject_cast<QComboBox *>(chooser->widget) : nullptr;
    return box && index < static_cast<uint32>(box->count())
               ? box->itemText(static_cast<int>(index)).toStdString()
               : std::string();
}

void RefreshSetGadgetAttrs(Object *gadget, Window *, Attr attr, uint32 value)
{
    if (!gadget)
        return;
    switch (attr) {
    case Attr::GA_Selected:
        if (auto *check = qobject_cast<QCheckBox *>(gadget->widget))
            check->setChecked(value != 0);
        break;
    case Attr::CHOOSER_Selected:
        if (auto *chooser = qobject_cast<QComboBox *>(gadget->widget);
            chooser && value < static_cast<uint32>(chooser->count()))
            chooser->setCurrentIndex(static_cast<int>(value));
        break;
    case Attr::GA_Disabled:
        gadget->widget->setEnabled(value == 0);
        break;
    }
}

void RefreshSetGadgetText(Object *gadget, Window *, CONST_STRPTR text)
{
    if (auto *field = gadget ? qobject_cast<QLineEdit *>(gadget->widget) : nullptr)
        field->setText(QString::fromUtf8(text));
}

Window *WindowOpen(Object *window_object)
{
    auto *window = dynamic_cast<WindowObject *>(window_object);
    if (!window)
        return nullptr;
    if (window->signum < 0 && (window->signum = AllocSignal()) < 0)
        return nullptr;
    QWidget *w = window->widget;
    w->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        place_on(w, screen->availableGeometry());
    w->show();
    w->activateWindow();
    // The focus starts on the default button, so that Return (and a pad's A) plays at
    // once, and it shows from the start.
    const auto buttons = w->findChildren<QPushButton *>();
    const auto main = std::find_if(buttons.begin(), buttons.end(),
                                   [](const QPushButton *b) { return b->isDefault(); });
    if (main != buttons.end() && (*main)->isEnabled())
        (*main)->setFocus(Qt::TabFocusReason);
    w->setAttribute(Qt::WA_KeyboardFocusChange);
    window->opened_with = gadget_values(w);
    window->handle.widget = w;
    return &window->handle;
}

uint32 WindowSignalMask(Object *window_object)
{
    const auto *window = dynamic_cast<WindowObject *>(window_object);
    return window && window->handle.widget ? 1u << window->signum : 0;
}

uint32 WindowHandleInput(Object *window_object, uint16 *code)
{
    auto *window = dynamic_cast<WindowObject *>(window_object);
    if (code)
        *code = 0;
    if (!window || window->events.empty())
        return WMHI_LASTMSG;
    const uint32 event = window->events.front();
    window->events.pop_front();
    return event;
}

QWidget *window_widget(Window *window)
{
    return window ? window->widget : nullptr;
}

void testing::post_window_event(Object *window_object, uint32 event)
{
    if (auto *window = dynamic_cast<WindowObject *>(window_object))
        window->post(event);
}

int testing::poll_gamepads(Object *window_object, int later_ms)
{
    auto *window = dynamic_cast<WindowObject *>(window_object);
    if (!window || !window->pads)
        return -1;
    return window->pads->poll(Gamepads::Clock::now() + std::chrono::milliseconds(later_ms));
}

} // namespace platform
