#include "platform/requester.h"

#include "platform/display.h"

#include <QMessageBox>
#include <QPushButton>
#include <utility>

namespace platform {

namespace {
testing::RequesterHook &requester_hook()
{
    static testing::RequesterHook hook;
    return hook;
}
} // namespace

bool show_error_requester(Interface *requester, CONST_STRPTR title, CONST_STRPTR body,
                          CONST_STRPTR button)
{
    if (requester_hook())
        return requester_hook()(title, body);
    if (!requester || !display_connected())
        return false;

    // The first line is the message; what follows it, the reason, is shown beneath.
    const QString text = QString::fromUtf8(body);
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(title), text.section('\n', 0, 0));
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(text.section('\n', 1));
    box.setObjectName("ErrorRequester");
    QPushButton *ok = box.addButton(QString::fromUtf8(button), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return true;
}

void testing::set_requester_hook(RequesterHook hook)
{
    requester_hook() = std::move(hook);
}

} // namespace platform
