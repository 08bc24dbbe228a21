#include "tests/support/remote_desktop_consent.h"

#include "platform/linux/atspi_bus.h"
#include "tests/support/run_task.h"

#include <QElapsedTimer>
#include <QQueue>

namespace tovalit::testing {

namespace {

const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString actionInterface = QStringLiteral("org.a11y.atspi.Action");
const QString portalApplication = QStringLiteral("xdg-desktop-portal-gnome");
constexpr int stateChecked = 4;
// AT-SPI roles, by number: GTK 4 names its roles in a vocabulary of its
// own ("window", "switch", "button").
constexpr uint roleCheckBox = 7;
constexpr uint roleFrame = 23;
constexpr uint rolePushButton = 43;
// The window holds a dozen objects; a search past this is lost elsewhere.
constexpr int maxVisited = 200;

struct ConsentWindow {
    AtspiObject allowInteraction;
    AtspiObject share;
    AtspiObject cancel;
};

std::optional<uint> roleOf(AtspiBus &bus, const AtspiObject &object) {
    const auto reply = bus.call(object, accessibleInterface, QStringLiteral("GetRole"));
    if (!reply || reply->isEmpty())
        return std::nullopt;
    return reply->first().toUInt();
}

// GTK 4 names a button after its label with the mnemonic in front as well
// ("_Share Share").
bool labelled(const QString &name, const QString &label) {
    return name == label || name.endsWith(u' ' + label);
}

// The portal's consent window as the accessibility bus shows it; `seen`
// tells what the portal showed instead.
std::optional<ConsentWindow> findConsentWindow(AtspiBus &bus, QStringList &seen) {
    seen = {QStringLiteral("no %1 on the accessibility bus").arg(portalApplication)};
    for (const AtspiObject &application : bus.applications()) {
        if (bus.stringProperty(application, QStringLiteral("Name")) != portalApplication)
            continue;
        seen.clear();
        bool titled = false;
        std::optional<AtspiObject> allowInteraction, share, cancel;
        QQueue<AtspiObject> queue;
        queue.enqueue(application);
        for (int visited = 0; !queue.isEmpty() && visited < maxVisited; ++visited) {
            const AtspiObject object = queue.dequeue();
            const std::optional<uint> role = roleOf(bus, object);
            const QString name =
                bus.stringProperty(object, QStringLiteral("Name")).value_or(QString());
            if (role == roleFrame || role == roleCheckBox || role == rolePushButton)
                seen << u'"' + name + u'"';
            if (role == roleFrame && name == u"Remote desktop")
                titled = true;
            else if (role == roleCheckBox && name == u"Allow remote interaction")
                allowInteraction = object;
            else if (role == rolePushButton && labelled(name, QStringLiteral("Share")))
                share = object;
            else if (role == rolePushButton && labelled(name, QStringLiteral("Cancel")))
                cancel = object;
            for (const AtspiObject &child : bus.children(object).value_or(QList<AtspiObject>()))
                queue.enqueue(child);
        }
        if (titled && allowInteraction && share && cancel)
            return ConsentWindow{*allowInteraction, *share, *cancel};
    }
    return std::nullopt;
}

bool isChecked(AtspiBus &bus, const AtspiObject &object) {
    const auto states = bus.states(object);
    return states && (*states & (quint64(1) << stateChecked));
}

// What a click does: the first action of a button ("click") or check box
// ("toggle").
bool press(AtspiBus &bus, const AtspiObject &object) {
    const auto reply = bus.call(object, actionInterface, QStringLiteral("DoAction"), {0});
    return reply && !reply->isEmpty() && reply->first().toBool();
}

} // namespace

::testing::AssertionResult answerRemoteDesktopConsent(RemoteDesktopAnswer answer,
                                                      std::chrono::milliseconds within) {
    AtspiBus bus;
    if (!bus.connectIfEnabled())
        return ::testing::AssertionFailure() << "the accessibility bus is missing or switched off";
    QElapsedTimer elapsed;
    elapsed.start();
    const auto timedOut = [&] { return elapsed.elapsed() > within.count(); };

    std::optional<ConsentWindow> window;
    QStringList seen;
    while (!(window = findConsentWindow(bus, seen))) {
        if (timedOut())
            return ::testing::AssertionFailure()
                   << "no \"Remote desktop\" window of GNOME's portal within " << within.count()
                   << " ms; the portal showed: " << seen.join(QStringLiteral(", ")).toStdString();
        pumpEvents(20);
    }

    if (answer == RemoteDesktopAnswer::refuse) {
        if (!press(bus, window->cancel))
            return ::testing::AssertionFailure() << "\"Cancel\" did not take the click";
        return ::testing::AssertionSuccess();
    }
    // Without the tick the portal shares nothing the keyboard can use.
    if (!isChecked(bus, window->allowInteraction) && !press(bus, window->allowInteraction))
        return ::testing::AssertionFailure()
               << "\"Allow remote interaction\" did not take the click";
    while (!isChecked(bus, window->allowInteraction)) {
        if (timedOut())
            return ::testing::AssertionFailure() << "\"Allow remote interaction\" stayed unticked";
        pumpEvents(20);
    }
    if (!press(bus, window->share))
        return ::testing::AssertionFailure() << "\"Share\" did not take the click";
    return ::testing::AssertionSuccess();
}

} // namespace tovalit::testing
