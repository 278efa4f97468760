// Library access and the error requester on a real (offscreen) display.
#include "platform/display.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <clocale>

namespace {

namespace pt = platform::testing;

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
    Interface untouched{nullptr}, *iface = &untouched;
};

TEST_F(LibraryTest, FailuresAreToldOnStandardOutputOrTheRequesterAndAllIsReleasedOnce)
{
    const std::tuple<const char *, int32, std::string> cases[] = {
        {"requester.class", 51, "Unable to open 'requester.class', version 51+"}, // no display
        {"no.library", 51, "Unable to open 'no.library', version 51+"},
        {"intuition.library", 54, "Unable to open 'intuition.library', version 54+"}};
    for (const auto &[name, version, printed] : cases) {
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(!getLibIFace(&base, name, version, &iface) && !base && iface == &untouched);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), printed);
    }
    // Then to a real box (found, read and dismissed); all is released once, interface first.
    ::testing::internal::CaptureStdout();
    setenv("LC_ALL", "C.UTF-8", 1); // any locale but "C" that exists will do
    EXPECT_TRUE(getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition) &&
                getLibIFace(&RequesterBase, "requester.class", 51, &IRequester));
    unsetenv("LC_ALL");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C"); // numbers keep their decimal point
    QStringList texts;
    std::tuple<QMessageBox::Icon, Qt::TextFormat, bool, QWidget *, qsizetype> shape;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            texts << box->windowTitle() << box->text() << box->buttons().front()->text();
            shape = {box->icon(), box->textFormat(), box->isModal(), box->parentWidget(),
                     box->buttons().size()};
            box->buttons().front()->click();
        }
    });
    platform::register_library({"window.class", 53, nullptr, nullptr, nullptr}); // no interface
    pt::clear_library_calls();
    EXPECT_TRUE(!getLibIFace(&base, "window.class", 51, &iface) && base && !iface); // kept
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(texts.join('|'), "Error|Unable to obtain the main interface for window.class|OK");
    EXPECT_EQ(shape, std::tuple(QMessageBox::Critical, Qt::PlainText, true, nullptr, 1));
    dropLibIFace(&base, &iface);
    dropLibIFace(&RequesterBase, &IRequester);
    dropLibIFace(&IntuitionBase, &IIntuition);
    EXPECT_FALSE(base || iface || IntuitionBase || IIntuition || RequesterBase || IRequester);
    const std::vector<std::string> calls = {"open window.class",      "get window.class",
                                            "close window.class",     "drop requester.class",
                                            "close requester.class",  "drop intuition.library",
                                            "close intuition.library"};
    EXPECT_EQ(pt::library_calls(), calls);
}

TEST(Display, NoDisplayFailsWithoutEndingTheProgram)
{
    const char *const X = nullptr, *vars[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    const char *cases[][3] = {
        {X, X, X},          {X, ":97", X},           {"xcb", ":97", X},
        {"none", ":97", X}, {"wayland", X, "/none"}, {"none;offscreen", X, X}};
    for (const auto &c : cases) { // none but the last, which falls back to a usable one
        for (int i = 0; i < 3; ++i) c[i] ? setenv(vars[i], c[i], 1) : unsetenv(vars[i]);
        EXPECT_EQ(platform::display_connect(), &c == std::end(cases) - 1) << &c - cases;
        EXPECT_EQ(platform::display_connected(), &c == std::end(cases) - 1) << &c - cases;
    }
    platform::display_disconnect();
}

} // namespace
