// Library access and the error requester on a real (offscreen) display.
#include "platform/display.h"
#include "platform/library.h"
#include "test_support.h"
#include "util.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <clocale>

namespace {

using platform::testing::LibraryFault;

class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        platform::testing::clear_library_faults();
        platform::testing::clear_library_calls();
    }
    void TearDown() override
    {
        dropLibIFace(&RequesterBase, &IRequester);
        dropLibIFace(&IntuitionBase, &IIntuition);
        platform::testing::clear_library_faults();
        EXPECT_FALSE(platform::display_connected()) << "a library was left open";
    }

    // getLibIFace with standard output captured.
    std::string get(Library **lib, const char *name, int32 version, Interface **iface, BOOL expect)
    {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(getLibIFace(lib, name, version, iface), expect);
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(LibraryTest, OpensWithItsInterfaceAndReleasesInterfaceFirst)
{
    EXPECT_EQ(get(&IntuitionBase, "intuition.library", 51, &IIntuition, true), "");
    EXPECT_NE(IntuitionBase, nullptr);
    EXPECT_NE(IIntuition, nullptr);
    EXPECT_TRUE(platform::display_connected());
    dropLibIFace(&IntuitionBase, &IIntuition);
    EXPECT_EQ(IntuitionBase, nullptr);
    EXPECT_EQ(IIntuition, nullptr);
    dropLibIFace(&IntuitionBase, &IIntuition); // the second time does nothing
    EXPECT_EQ(platform::testing::library_calls(),
              (std::vector<std::string>{"open intuition.library", "get intuition.library",
                                        "drop intuition.library", "close intuition.library"}));
}

TEST_F(LibraryTest, MissingOrTooOldLibrariesAreReportedOnStandardOutput)
{
    Interface *untouched = reinterpret_cast<Interface *>(0x1);
    EXPECT_EQ(get(&IntuitionBase, "intuition.library", 54, &untouched, false),
              "Unable to open 'intuition.library', version 54+");
    EXPECT_EQ(IntuitionBase, nullptr);
    EXPECT_EQ(untouched, reinterpret_cast<Interface *>(0x1));

    platform::testing::set_library_fault("intuition.library", LibraryFault::too_old);
    EXPECT_EQ(get(&IntuitionBase, "intuition.library", 51, &IIntuition, false),
              "Unable to open 'intuition.library', version 51+");
    EXPECT_EQ(get(&RequesterBase, "no.library", 51, &IRequester, false),
              "Unable to open 'no.library', version 51+");
}

TEST_F(LibraryTest, ClassesNeedTheDisplay)
{
    EXPECT_EQ(get(&RequesterBase, "requester.class", 51, &IRequester, false),
              "Unable to open 'requester.class', version 51+");
}

TEST_F(LibraryTest, MissingInterfaceKeepsTheLibraryForDrop)
{
    platform::testing::set_library_fault("intuition.library", LibraryFault::no_interface);
    EXPECT_EQ(get(&IntuitionBase, "intuition.library", 51, &IIntuition, false),
              "Unable to obtain the main interface for intuition.library");
    EXPECT_NE(IntuitionBase, nullptr);
    EXPECT_EQ(IIntuition, nullptr);
    dropLibIFace(&IntuitionBase, &IIntuition);
    dropLibIFace(&IntuitionBase, &IIntuition);
    EXPECT_EQ(platform::testing::library_calls(),
              (std::vector<std::string>{"open intuition.library", "get intuition.library",
                                        "close intuition.library"}));
}

TEST_F(LibraryTest, WithTheRequesterOpenFailuresAreShownThere)
{
    ASSERT_TRUE(getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition));
    ASSERT_TRUE(getLibIFace(&RequesterBase, "requester.class", 51, &IRequester));
    std::vector<std::string> shown;
    platform::testing::set_requester_hook([&](std::string_view, std::string_view body) {
        shown.emplace_back(body);
        return true;
    });
    Library *base = nullptr;
    Interface *iface = nullptr;
    EXPECT_EQ(get(&base, "window.class", 60, &iface, false), "");
    platform::testing::set_requester_hook(nullptr);
    EXPECT_EQ(shown, std::vector<std::string>{"Unable to open 'window.class', version 60+"});
}

TEST_F(LibraryTest, NumbersKeepTheirDecimalPointInAnyLocale)
{
    setenv("LC_ALL", "de_DE.UTF-8", 1); // takes effect only where that locale exists
    ASSERT_TRUE(getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition));
    unsetenv("LC_ALL");
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", 59.94);
    EXPECT_STREQ(text, "59.94");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

// The real message box: found on screen, checked and dismissed by the test.
TEST_F(LibraryTest, ErrorRequesterIsAModalErrorBoxWithOneOkButton)
{
    ASSERT_TRUE(getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition));
    ASSERT_TRUE(getLibIFace(&RequesterBase, "requester.class", 51, &IRequester));

    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    bool modal = false, parentless = false;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        modal = box->isModal();
        parentless = box->parentWidget() == nullptr;
        for (QAbstractButton *b : box->buttons()) buttons << b->text();
        box->buttons().front()->click();
    });
    EXPECT_TRUE(error_requestf("Unable to launch %s <b>%d</b>", "Karthos", 1));
    EXPECT_EQ(title.toStdString(), "Error");
    EXPECT_EQ(text.toStdString(), "Unable to launch Karthos <b>1</b>");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, QStringList{"OK"});
    EXPECT_TRUE(modal);
    EXPECT_TRUE(parentless);
}

TEST(Display, NoDisplayFailsWithoutEndingTheProgram)
{
    for (const char *var : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(var);
    EXPECT_FALSE(platform::display_connect());
    setenv("DISPLAY", ":97", 1); // nothing listens there
    EXPECT_FALSE(platform::display_connect());
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    EXPECT_FALSE(platform::display_connect());
    setenv("QT_QPA_PLATFORM", "nosuchplatform", 1);
    EXPECT_FALSE(platform::display_connect());
    unsetenv("DISPLAY");
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    setenv("WAYLAND_DISPLAY", "/nonexistent/wayland-socket", 1);
    EXPECT_FALSE(platform::display_connect());
    unsetenv("WAYLAND_DISPLAY");
    EXPECT_FALSE(platform::display_connected());
    setenv("QT_QPA_PLATFORM", "nosuchplatform;offscreen", 1); // the first usable one
    ASSERT_TRUE(platform::display_connect());
    platform::display_disconnect();
}

} // namespace
