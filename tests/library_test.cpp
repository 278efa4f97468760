// The error requester's formatting, and its real box and the libraries on the offscreen display.
#include "platform/display.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <clocale>
#include <cstring>

namespace {

TEST(ErrorRequester, ShowsTheFormattedMessageCutAt4095Characters)
{
    MessageLog log;
    const std::string exact(4095, 'a'), longer = std::string(4095, 'b') + "tail";
    const std::pair<std::string, std::string> cases[] = {
        {"Unable to open '%s', version %ld+", "Unable to open 'intuition.library', version 51+"},
        {"100%% sure", "100% sure"},
        {exact, exact},
        {longer, longer.substr(0, 4095)}};
    for (const auto &[format, shown] : cases) {
        log.clear();
        EXPECT_TRUE(error_requestf(format.c_str(), "intuition.library", 51L)) << format;
        EXPECT_EQ(log.messages(), std::vector<std::string>{shown});
    }
}

TEST(ErrorRequester, NothingIsShownWithoutARequesterOrAfterAFormattingError)
{
    std::memset(tmptxt, 'z', sizeof tmptxt);
    EXPECT_FALSE(error_requestf("Out of %s", "memory"));
    EXPECT_EQ(std::string(tmptxt, sizeof tmptxt), std::string(sizeof tmptxt, 'z')); // untouched
    MessageLog log;
    // A lone surrogate cannot be converted to a multibyte string: vsnprintf fails.
    const wchar_t bad[] = {static_cast<wchar_t>(0xD800), 0};
    EXPECT_FALSE(error_requestf("%ls", bad));
    EXPECT_TRUE(log.messages().empty());
    log.shown = false; // a requester that could not be made
    EXPECT_FALSE(error_requestf("Out of memory"));
}

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
