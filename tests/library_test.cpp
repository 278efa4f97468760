// Library access and the error requester on a real (offscreen) display.
#include "platform/display.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <clocale>

namespace {

class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::install_toolkit_libraries(); }
    void TearDown() override
    {
        dropLibIFace(&RequesterBase, &IRequester);
        dropLibIFace(&IntuitionBase, &IIntuition);
        platform::unregister_library("window.class");
        EXPECT_FALSE(platform::display_connected()) << "a library was left open";
    }

    Library *base = nullptr;
    Interface *iface = nullptr;
};

// Once the requester is open, failures go to a real box (found, read and dismissed);
// every handle is cleared as it is released. (The order of releases is the main test's.)
TEST_F(LibraryTest, FailuresAreToldInTheRequesterAndAllIsReleasedOnce)
{
    ::testing::internal::CaptureStdout();
    setenv("LC_ALL", "C.UTF-8", 1); // any locale but "C" that exists will do
    EXPECT_TRUE(getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition));
    EXPECT_TRUE(getLibIFace(&RequesterBase, "requester.class", 51, &IRequester));
    unsetenv("LC_ALL");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C"); // numbers keep their decimal point
    QStringList texts;
    std::tuple<QMessageBox::Icon, Qt::TextFormat, bool, QWidget *, qsizetype> shape;
    const auto answer_next_box = [&] {
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts << box->windowTitle() << box->text() << box->informativeText()
                      << box->buttons().front()->text();
                shape = {box->icon(), box->textFormat(), box->isModal(), box->parentWidget(),
                         box->buttons().size()};
                box->buttons().front()->click();
            }
        });
    };
    platform::register_library({"window.class", 53, nullptr, nullptr, nullptr}); // no interface
    answer_next_box();
    EXPECT_FALSE(getLibIFace(&base, "window.class", 51, &iface));
    EXPECT_NE(base, nullptr); // kept for dropLibIFace
    EXPECT_EQ(iface, nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(texts.join('|'), "Error|Unable to obtain the main interface for window.class||OK");
    EXPECT_EQ(shape, std::tuple(QMessageBox::Critical, Qt::PlainText, true, nullptr, 1));
    texts.clear(); // a message with its reason: the reason goes beneath
    answer_next_box();
    EXPECT_TRUE(
        error_requestf("Unable to create Karthos.prefs\n%s: %s", "/g/Karthos.prefs", "why"));
    EXPECT_EQ(texts.join('|'), "Error|Unable to create Karthos.prefs|/g/Karthos.prefs: why|OK");
    dropLibIFace(&base, &iface);
    dropLibIFace(&RequesterBase, &IRequester);
    dropLibIFace(&IntuitionBase, &IIntuition);
    for (const void *handle :
         {static_cast<const void *>(base), static_cast<const void *>(iface),
          static_cast<const void *>(IntuitionBase), static_cast<const void *>(IIntuition),
          static_cast<const void *>(RequesterBase), static_cast<const void *>(IRequester)})
        EXPECT_EQ(handle, nullptr);
}

} // namespace
