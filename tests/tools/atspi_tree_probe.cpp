// Opens a page in a browser (an X11 window, accessibility on from the
// start) and prints what the accessibility bus says of the element that has
// the focus and of what lies under it: role, states, the attributes the
// page gives it, and for a text its characters, length, caret, selection
// and the attributes of each run of its text. With --type TEXT it then
// types TEXT through the X server and prints the same again. For people
// finding out how a browser shows a page's field, not for the tests.
//
//   atspi_tree_probe --firefox|--chromium PAGE.html [--wait-ms N] [--type TEXT]
//
// Run it in the headless session (scripts/lib/headless-session).

#include "platform/linux/atspi_bus.h"
#include "tests/support/chromium_page.h"
#include "tests/support/firefox_page.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QProcess>
#include <QThread>

#include <cstdio>
#include <map>

namespace {

using namespace tovalit;

const QString textInterface = QStringLiteral("org.a11y.atspi.Text");

QString visible(QString text) {
    text.replace(QChar(0xFFFC), QStringLiteral("[FFFC]"));
    text.replace(QChar(0xFEFF), QStringLiteral("[FEFF]"));
    text.replace(u'\n', QStringLiteral("\\n"));
    return text;
}

QString stateNames(quint64 bits) {
    static const std::map<int, const char *> names = {
        {1, "active"},     {7, "editable"},   {8, "enabled"},       {11, "focusable"},
        {12, "focused"},   {17, "multi-line"}, {25, "showing"},     {26, "single-line"},
        {30, "visible"},   {31, "manages-descendants"}, {43, "read-only"}};
    QStringList set;
    for (const auto &[bit, name] : names) {
        if (bits & (quint64(1) << bit))
            set.append(QLatin1String(name));
    }
    return set.join(u',');
}

QString hashText(const QHash<QString, QString> &values) {
    QStringList pairs;
    for (auto it = values.begin(); it != values.end(); ++it)
        pairs.append(it.key() + u'=' + visible(it.value()));
    pairs.sort();
    return pairs.join(QStringLiteral("; "));
}

QHash<QString, QString> stringMap(const QVariant &value) {
    QHash<QString, QString> map;
    if (value.canConvert<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        QMap<QString, QString> read;
        argument >> read;
        for (auto it = read.begin(); it != read.end(); ++it)
            map.insert(it.key(), it.value());
    }
    return map;
}

void dumpText(AtspiBus &bus, const AtspiObject &object, const QString &indent) {
    const auto raw = bus.call(object, textInterface, QStringLiteral("GetText"), {0, -1});
    const auto count = bus.property(object, textInterface, QStringLiteral("CharacterCount"));
    const auto caret = bus.property(object, textInterface, QStringLiteral("CaretOffset"));
    const auto selection = bus.firstSelection(object);
    std::printf("%s  text=\"%s\" count=%s caret=%s selection=%s\n", qPrintable(indent),
                raw && !raw->isEmpty() ? qPrintable(visible(raw->first().toString())) : "<none>",
                count ? qPrintable(count->toString()) : "<none>",
                caret ? qPrintable(caret->toString()) : "<none>",
                selection ? qPrintable(QStringLiteral("%1..%2")
                                           .arg(selection->first)
                                           .arg(selection->second))
                          : "<none>");
    const qint64 length = count ? count->toLongLong() : 0;
    const auto defaults = bus.call(object, textInterface, QStringLiteral("GetDefaultAttributes"));
    if (defaults && !defaults->isEmpty())
        std::printf("%s  default-attributes: %s\n", qPrintable(indent),
                    qPrintable(hashText(stringMap(defaults->first()))));
    // Each run of the text with its own attributes (at most a few).
    qint64 offset = 0;
    for (int run = 0; run < 8 && offset <= length; ++run) {
        const auto reply = bus.call(object, textInterface, QStringLiteral("GetAttributeRun"),
                                    {int(offset), false});
        if (!reply || reply->size() < 3)
            break;
        const qint64 start = reply->at(1).toLongLong();
        const qint64 end = reply->at(2).toLongLong();
        std::printf("%s  run %lld..%lld: %s\n", qPrintable(indent), start, end,
                    qPrintable(hashText(stringMap(reply->first()))));
        if (end <= offset)
            break;
        offset = end;
        if (offset >= length)
            break;
    }
}

void dump(AtspiBus &bus, const AtspiObject &object, int depth, int maxDepth) {
    const QString indent(depth * 2, u' ');
    const auto role = bus.call(object, QStringLiteral("org.a11y.atspi.Accessible"),
                               QStringLiteral("GetRoleName"));
    const auto name = bus.stringProperty(object, QStringLiteral("Name"));
    const auto description = bus.stringProperty(object, QStringLiteral("Description"));
    const auto states = bus.states(object);
    const auto attributes = bus.attributes(object);
    const QStringList interfaces = bus.interfaces(object);
    std::printf("%s%s role=%s name=\"%s\" description=\"%s\" states=[%s]\n", qPrintable(indent),
                qPrintable(object.path),
                role && !role->isEmpty() ? qPrintable(role->first().toString()) : "<none>",
                qPrintable(visible(name.value_or(QString()))),
                qPrintable(visible(description.value_or(QString()))),
                states ? qPrintable(stateNames(*states)) : "<none>");
    std::printf("%s  attributes: %s\n", qPrintable(indent),
                attributes ? qPrintable(hashText(*attributes)) : "<none>");
    QStringList shortNames;
    for (const QString &interface : interfaces)
        shortNames.append(interface.section(u'.', -1));
    std::printf("%s  interfaces: %s\n", qPrintable(indent), qPrintable(shortNames.join(u',')));
    if (interfaces.contains(textInterface))
        dumpText(bus, object, indent);
    if (depth >= maxDepth)
        return;
    const auto children = bus.children(object);
    if (!children)
        return;
    for (qsizetype index = 0; index < children->size() && index < 12; ++index)
        dump(bus, children->at(index), depth + 1, maxDepth);
}

int run(const QStringList &arguments) {
    QString browser, page, typed;
    int waitMs = 2000;
    for (qsizetype at = 1; at < arguments.size(); ++at) {
        const QString &argument = arguments[at];
        if (argument == u"--firefox" || argument == u"--chromium")
            browser = argument.mid(2);
        else if (argument == u"--wait-ms" && at + 1 < arguments.size())
            waitMs = arguments[++at].toInt();
        else if (argument == u"--type" && at + 1 < arguments.size())
            typed = arguments[++at];
        else
            page = argument;
    }
    if (browser.isEmpty() || page.isEmpty()) {
        std::fprintf(stderr, "atspi_tree_probe --firefox|--chromium PAGE.html [--wait-ms N] "
                             "[--type TEXT]\n");
        return 2;
    }
    tovalit::testing::setDesktopAccessibilityEnabled(true);
    QString failure;
    std::unique_ptr<tovalit::testing::FirefoxPage> firefox;
    std::unique_ptr<tovalit::testing::ChromiumPage> chromium;
    qint32 pid = 0;
    if (browser == u"firefox") {
        firefox = tovalit::testing::FirefoxPage::open(tovalit::testing::FirefoxPage::Backend::x11, page, &failure);
        if (firefox)
            pid = firefox->processIdentifier();
    } else {
        chromium = tovalit::testing::ChromiumPage::open(page, &failure);
        if (chromium)
            pid = chromium->processIdentifier();
    }
    if (!pid) {
        std::fprintf(stderr, "could not start the browser: %s\n", qPrintable(failure));
        return 1;
    }
    AtspiBus bus;
    std::optional<AtspiObject> focused;
    const bool found = tovalit::testing::waitUntil(
        [&] {
            const auto service = bus.connectIfEnabled() ? bus.serviceOfProcess(pid) : std::nullopt;
            ColdReadDeadline deadline;
            focused = service ? bus.focusedElement(*service, deadline) : std::nullopt;
            if (!focused)
                return false;
            const auto states = bus.states(*focused);
            return states && (*states & (quint64(1) << AtspiBus::stateEditable));
        },
        "an editable element to have the focus", std::chrono::seconds(60));
    if (!found)
        return 1;
    // A window that starts from no launcher may stay behind: the user
    // would click it.
    const auto caretShows = [&] {
        const auto caret = bus.caretOffset(*focused);
        return caret && *caret >= 0;
    };
    if (!tovalit::testing::waitUntil(caretShows, "the caret", std::chrono::seconds(30))) {
        const QString windows =
            QString::fromUtf8([&] {
                QProcess search;
                search.start(QStringLiteral("xdotool"),
                             {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                              QStringLiteral("--pid"), QString::number(pid)});
                search.waitForFinished(5000);
                return search.readAllStandardOutput();
            }())
                .trimmed();
        for (const QString &window : windows.split(u'\n', Qt::SkipEmptyParts))
            QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), window});
        tovalit::testing::waitUntil(caretShows, "the caret", std::chrono::seconds(10));
    }
    QThread::msleep(waitMs);
    std::printf("== the focused element, as the page left it\n");
    dump(bus, *focused, 0, 3);
    if (!typed.isEmpty()) {
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("type"), typed});
        QThread::msleep(1000);
        const auto service = bus.serviceOfProcess(pid);
        ColdReadDeadline deadline;
        if (const auto now = service ? bus.focusedElement(*service, deadline) : std::nullopt)
            focused = now;
        std::printf("== after typing \"%s\"\n", qPrintable(typed));
        dump(bus, *focused, 0, 3);
    }
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    return run(app.arguments());
}
