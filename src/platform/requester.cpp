#include "platform/requester.h"

#include "platform/qt_private.h"

#include <QMessageBox>
#include <QPushButton>

namespace platform {

bool show_error_requester(CONST_STRPTR title, CONST_STRPTR body, CONST_STRPTR button)
{
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

} // namespace platform
