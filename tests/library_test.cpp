// Library access and the error requester on a real (offscreen) display.
#include "platform/display.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <clocale>

namespace {

// The message, its reason beneath, one button.
TEST(LibraryTest, ErrorsAreToldInARealBoxAndTheHandlesAreClearedOnRelease)
{
    platform::install_toolkit_libraries();
    setenv("LC_ALL", "C.UTF-8", 1); // any locale but "C" that exists will do
    EXPECT_TRUE(getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition));
    EXPECT_TRUE(getLibIFace(&RequesterBase, "requester.class", 51, &IRequester));
    unsetenv("LC_ALL");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C"); // numbers keep their decimal point
    QStringList texts;
    std::tuple<QMessageBox::Icon, Qt::TextFormat, bool, QWidget *, qsizetype> shape;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            texts << box->windowTitle() << box->text() << box->informativeText()
                  << box->buttons().front()->text();
            shape = {box->icon(), box->textFormat(), box->isModal(), box->parentWidget(),
                     box->buttons().size()};
            box->buttons().front()->click();
        }
    });
    EXPECT_TRUE(
        error_requestf("Unable to create Karthos.prefs\n%s: %s", "/g/Karthos.prefs", "why"));
    EXPECT_EQ(texts.join('|'), "Error|Unable to create Karthos.prefs|/g/Karthos.prefs: why|OK");
    EXPECT_EQ(shape, std::tuple(QMessageBox::Critical, Qt::PlainText, true, nullptr, 1));
    dropLibIFace(&RequesterBase, &IRequester);
    dropLibIFace(&IntuitionBase, &IIntuition);
    EXPECT_FALSE(IntuitionBase || IIntuition || RequesterBase || IRequester);
    EXPECT_FALSE(platform::display_connected()) << "a library was left open";
}

} // namespace
