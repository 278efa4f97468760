#include "platform/services.h"

#include "platform/qt_private.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <memory>

namespace platform {

namespace {

constexpr int TIMEOUT_MS = 2000; // a service slower than this counts as absent

constexpr auto SWITCHEROO = "net.hadess.SwitcherooControl";
constexpr auto SWITCHEROO_PATH = "/net/hadess/SwitcherooControl";
constexpr auto GAME_MODE = "com.feralinteractive.GameMode";
constexpr auto GAME_MODE_PATH = "/com/feralinteractive/GameMode";

QDBusMessage property_call(const char *service, const char *path, const char *property)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, "org.freedesktop.DBus.Properties", "Get");
    call << QString::fromLatin1(service) << QString::fromLatin1(property);
    return call;
}

QDBusMessage gpus_call()
{
    return property_call(SWITCHEROO, SWITCHEROO_PATH, "GPUs");
}

// GameMode is there when its daemon runs or when the bus starts it on demand. It is
// asked without being started: the daemon would stay for the rest of the session.
QDBusMessage game_mode_call()
{
    QDBusMessage call = property_call(GAME_MODE, GAME_MODE_PATH, "ClientCount");
    call.setAutoStartService(false);
    return call;
}

QDBusMessage startable_call()
{
    return QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                          "org.freedesktop.DBus", "ListActivatableNames");
}

// The environment comes as names and values in turn; a name that could not be set is
// no selection at all.
std::vector<std::string> environment_entries(const QStringList &pairs)
{
    std::vector<std::string> entries;
    for (qsizetype i = 0; i + 1 < pairs.size(); i += 2) {
        if (pairs[i].isEmpty() || pairs[i].contains('='))
            return {};
        entries.push_back((pairs[i] + '=' + pairs[i + 1]).toStdString());
    }
    return entries;
}

// The reply's cards, the default one first; none for anything but a list of them.
std::vector<Gpu> parse_gpus(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const QVariant value = reply.arguments().first().value<QDBusVariant>().variant();
    if (!value.canConvert<QDBusArgument>() ||
        value.value<QDBusArgument>().currentSignature() != "aa{sv}")
        return {};
    std::vector<Gpu> gpus;
    for (const QVariantMap &card : qdbus_cast<QList<QVariantMap>>(value)) {
        const QString name = card.value("Name").toString();
        if (name.isEmpty())
            continue;
        gpus.push_back({name.toStdString(),
                        environment_entries(card.value("Environment").toStringList()),
                        card.value("Default").toBool()});
    }
    std::stable_partition(gpus.begin(), gpus.end(), [](const Gpu &g) { return g.is_default; });
    return gpus;
}

// A blocking call, for a run without a window; D-Bus wants an application object.
QDBusMessage call_now(QDBusConnection::BusType type, const QDBusMessage &call)
{
    std::unique_ptr<QCoreApplication> app;
    int argc = 1;
    char name[] = "KTLaunch";
    char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);
    const QDBusConnection bus = type == QDBusConnection::SystemBus ? QDBusConnection::systemBus()
                                                                   : QDBusConnection::sessionBus();
    return bus.isConnected() ? bus.call(call, QDBus::Block, TIMEOUT_MS) : QDBusMessage();
}

void ask(const QDBusConnection &bus, const QDBusMessage &call, QObject *context,
         std::function<void(const QDBusMessage &)> answered)
{
    if (!bus.isConnected())
        return;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, TIMEOUT_MS), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, answered = std::move(answered)] {
                         answered(watcher->reply());
                         watcher->deleteLater();
                     });
}

} // namespace

std::vector<Gpu> list_gpus()
{
    return parse_gpus(call_now(QDBusConnection::SystemBus, gpus_call()));
}

void AskServicesAfterFirstPaint(Object *window_object, const ServiceAnswers &answers)
{
    QWidget *w = object_widget(window_object);
    if (!w)
        return;
    after_first_paint(w, [w, answers] {
        // Connecting to a bus is local and quick; the answers are waited for in the loop.
        ask(QDBusConnection::systemBus(), gpus_call(), w, [answers](const QDBusMessage &reply) {
            if (answers.gpus)
                answers.gpus(parse_gpus(reply));
        });
        const auto game_mode = [answers](bool there) {
            if (there && answers.game_mode)
                answers.game_mode();
        };
        ask(QDBusConnection::sessionBus(), game_mode_call(), w, [game_mode](const auto &reply) {
            game_mode(reply.type() == QDBusMessage::ReplyMessage);
        });
        ask(QDBusConnection::sessionBus(), startable_call(), w, [game_mode](const auto &reply) {
            game_mode(reply.arguments().value(0).toStringList().contains(GAME_MODE));
        });
    });
}

GameModeResult register_with_game_mode(pid_t pid, std::string *why)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(GAME_MODE, GAME_MODE_PATH, GAME_MODE, "RegisterGame");
    call << static_cast<int>(pid);
    const QDBusMessage reply = call_now(QDBusConnection::SessionBus, call);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        const QVariantList results = reply.arguments();
        if (!results.isEmpty() && results.first().toInt() == 0)
            return GameModeResult::registered;
        *why = "the daemon refused to register it";
        return GameModeResult::refused;
    }
    // Not there at all (no bus, nobody to answer, no answer in time): nothing to tell.
    const QString error = reply.errorName();
    if (reply.type() != QDBusMessage::ErrorMessage ||
        error == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        error == "org.freedesktop.DBus.Error.NoReply" ||
        error == "org.freedesktop.DBus.Error.Disconnected" ||
        error == "org.freedesktop.DBus.Error.NoServer" ||
        error == "org.freedesktop.DBus.Error.Timeout")
        return GameModeResult::absent;
    *why =
        reply.errorMessage().isEmpty() ? error.toStdString() : reply.errorMessage().toStdString();
    return GameModeResult::refused;
}

} // namespace platform
