#include "platform/linux/atspi_bus.h"

#include "platform/focus_search.h"
#include "platform/linux/atspi_text_offsets.h"

#include <QAtomicInt>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QThread>

#include <algorithm>
#include <limits>

namespace tovalit {

namespace {

const QString registryService = QStringLiteral("org.a11y.atspi.Registry");
const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString nullPath = QStringLiteral("/org/a11y/atspi/null");
const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString textInterface = QStringLiteral("org.a11y.atspi.Text");
const QString applicationInterface = QStringLiteral("org.a11y.atspi.Application");
const QString hypertextInterface = QStringLiteral("org.a11y.atspi.Hypertext");
const QString hyperlinkInterface = QStringLiteral("org.a11y.atspi.Hyperlink");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// Screen coordinates (AT-SPI coordinate type 0).
constexpr uint screenCoordinates = 0;
// Children beyond this many are not read: the searches above never get
// that far, and listing a huge table can stall the application itself.
constexpr int maxChildrenRead = 1000;
// Elements a search for the focused element looks at, at most.
constexpr int maxFocusSearch = 400;
// Calls sent before their replies are awaited, at most.
constexpr qsizetype maxCallsInFlight = 64;
// How long an application's first answers of where text stands may take
// to be more than nothing.
constexpr qint64 extentsWarmUpMs = 300;
// How long an application that missed a deadline is left alone.
constexpr qint64 unresponsivePauseMs = 2000;

QVariant unwrapVariant(const QVariant &value) {
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return qvariant_cast<QDBusVariant>(value).variant();
    return value;
}

std::optional<AtspiObject> objectFrom(const QVariant &value) {
    const QVariant plain = unwrapVariant(value);
    if (plain.metaType() != QMetaType::fromType<QDBusArgument>())
        return std::nullopt;
    const auto argument = qvariant_cast<QDBusArgument>(plain);
    if (argument.currentType() != QDBusArgument::StructureType)
        return std::nullopt;
    QString service;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> service >> path;
    argument.endStructure();
    if (service.isEmpty() || path.path().isEmpty() || path.path() == nullPath)
        return std::nullopt;
    return AtspiObject{service, path.path()};
}

std::optional<QList<AtspiObject>> objectsFrom(const QVariant &value) {
    const QVariant plain = unwrapVariant(value);
    if (plain.metaType() != QMetaType::fromType<QDBusArgument>())
        return std::nullopt;
    const auto argument = qvariant_cast<QDBusArgument>(plain);
    if (argument.currentType() != QDBusArgument::ArrayType)
        return std::nullopt;
    QList<AtspiObject> objects;
    argument.beginArray();
    while (!argument.atEnd()) {
        QString service;
        QDBusObjectPath path;
        argument.beginStructure();
        argument >> service >> path;
        argument.endStructure();
        if (!service.isEmpty() && path.path() != nullPath)
            objects.append(AtspiObject{service, path.path()});
    }
    argument.endArray();
    return objects;
}

std::optional<qint64> integerFrom(const QVariant &value) {
    const QVariant plain = unwrapVariant(value);
    bool ok = false;
    const qint64 number = plain.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return number;
}

// Four integers x, y, width, height: either four reply arguments or one
// structure, depending on the toolkit.
std::optional<QRect> rectFrom(const QVariantList &arguments) {
    QList<qint64> numbers;
    if (arguments.size() == 4) {
        for (const QVariant &argument : arguments) {
            auto number = integerFrom(argument);
            if (!number)
                return std::nullopt;
            numbers.append(*number);
        }
    } else if (arguments.size() == 1) {
        const QVariant plain = unwrapVariant(arguments.first());
        if (plain.metaType() != QMetaType::fromType<QDBusArgument>())
            return std::nullopt;
        const auto argument = qvariant_cast<QDBusArgument>(plain);
        argument.beginStructure();
        while (!argument.atEnd()) {
            int number = 0;
            argument >> number;
            numbers.append(number);
        }
        argument.endStructure();
    }
    if (numbers.size() != 4)
        return std::nullopt;
    return QRect(int(numbers[0]), int(numbers[1]), int(numbers[2]), int(numbers[3]));
}

QString nextConnectionName() {
    static QAtomicInt counter;
    return QStringLiteral("tovalit-atspi-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

AtspiBus::AtspiBus(int callTimeoutMilliseconds)
    : m_callTimeout(callTimeoutMilliseconds)
    , m_connectionName(nextConnectionName())
    , m_connection(QString()) {
    m_clock.start();
}

AtspiBus::~AtspiBus() {
    if (!m_address.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
}

bool AtspiBus::connectIfEnabled() {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected())
        return false;
    const QString busService = QStringLiteral("org.a11y.Bus");
    const QString busPath = QStringLiteral("/org/a11y/bus");
    QDBusMessage status = QDBusMessage::createMethodCall(busService, busPath, propertiesInterface,
                                                         QStringLiteral("GetAll"));
    status << QStringLiteral("org.a11y.Status");
    const QDBusMessage statusReply = session.call(status, QDBus::Block, m_callTimeout);
    if (statusReply.type() != QDBusMessage::ReplyMessage || statusReply.arguments().isEmpty())
        return false;
    QVariantMap flags;
    qvariant_cast<QDBusArgument>(statusReply.arguments().first()) >> flags;
    if (!flags.value(QStringLiteral("IsEnabled")).toBool() &&
        !flags.value(QStringLiteral("ScreenReaderEnabled")).toBool())
        return false;

    const QDBusMessage addressReply =
        session.call(QDBusMessage::createMethodCall(busService, busPath, busService,
                                                    QStringLiteral("GetAddress")),
                     QDBus::Block, m_callTimeout);
    if (addressReply.type() != QDBusMessage::ReplyMessage || addressReply.arguments().isEmpty())
        return false;
    const QString address = addressReply.arguments().first().toString();
    if (address.isEmpty())
        return false;
    if (address == m_address && m_connection.isConnected())
        return true;

    if (!m_address.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    m_connectionName = nextConnectionName();
    m_address = address;
    m_connection = QDBusConnection::connectToBus(address, m_connectionName);
    m_processIdentifiers.clear();
    m_textUnits.clear();
    m_lastFocused.clear();
    m_focusStaysAtWindow.clear();
    m_extentsAnswered.clear();
    m_unresponsiveUntil.clear();
    m_lateProbes.clear();
    return m_connection.isConnected();
}

bool AtspiBus::isUnresponsive(const QString &service) {
    const auto until = m_unresponsiveUntil.find(service);
    if (until == m_unresponsiveUntil.end())
        return false;
    // A busy browser misses a deadline on its first reads of a fresh page
    // and answers a moment later: it is asked again as soon as it has.
    if (const auto probe = m_lateProbes.find(service);
        probe != m_lateProbes.end() && probe->isFinished()) {
        const bool answered = probe->reply().type() == QDBusMessage::ReplyMessage;
        m_lateProbes.erase(probe);
        if (answered) {
            m_unresponsiveUntil.erase(until);
            return false;
        }
    }
    return m_clock.elapsed() < *until;
}

void AtspiBus::askWhetherLate(const QString &service) {
    if (m_lateProbes.contains(service))
        return;
    QDBusMessage probe = QDBusMessage::createMethodCall(service, rootPath, propertiesInterface,
                                                        QStringLiteral("Get"));
    probe.setArguments({accessibleInterface, QStringLiteral("ChildCount")});
    m_lateProbes.insert(service, m_connection.asyncCall(probe, int(unresponsivePauseMs)));
}

std::optional<QDBusMessage> AtspiBus::message(const AtspiCall &call) {
    if (!m_connection.isConnected() || call.object.service.isEmpty() ||
        isUnresponsive(call.object.service))
        return std::nullopt;
    QDBusMessage message = QDBusMessage::createMethodCall(call.object.service, call.object.path,
                                                          call.interface, call.method);
    message.setArguments(call.arguments);
    return message;
}

std::optional<QVariantList> AtspiBus::answer(const AtspiObject &object, const QDBusMessage &reply) {
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply.arguments();
    const QString error = reply.errorName();
    if (error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        error == QLatin1String("org.freedesktop.DBus.Error.Timeout")) {
        m_unresponsiveUntil.insert(object.service, m_clock.elapsed() + unresponsivePauseMs);
        askWhetherLate(object.service);
    }
    return std::nullopt;
}

std::optional<QVariantList> AtspiBus::call(const AtspiObject &object, const QString &interface,
                                           const QString &method, const QVariantList &arguments) {
    const auto request = message(AtspiCall{object, interface, method, arguments});
    if (!request)
        return std::nullopt;
    return answer(object, m_connection.call(*request, QDBus::Block, m_callTimeout));
}

QList<std::optional<QVariantList>> AtspiBus::callAll(const QList<AtspiCall> &calls) {
    // Each round is sent before its first reply is awaited: the
    // application answers one call after the other, without a round trip
    // between. Rounds are kept small enough not to flood it.
    QList<std::optional<QVariantList>> replies;
    replies.reserve(calls.size());
    for (qsizetype round = 0; round < calls.size(); round += maxCallsInFlight) {
        const qsizetype end = std::min(calls.size(), round + maxCallsInFlight);
        std::vector<std::optional<QDBusPendingCall>> pending;
        pending.reserve(std::size_t(end - round));
        for (qsizetype index = round; index < end; ++index) {
            const auto request = message(calls[index]);
            pending.push_back(request
                                  ? std::optional(m_connection.asyncCall(*request, m_callTimeout))
                                  : std::nullopt);
        }
        for (qsizetype index = round; index < end; ++index) {
            std::optional<QDBusPendingCall> &call = pending[std::size_t(index - round)];
            if (!call) {
                replies.append(std::nullopt);
                continue;
            }
            call->waitForFinished();
            replies.append(answer(calls[index].object, call->reply()));
        }
    }
    return replies;
}

std::optional<QVariant> AtspiBus::property(const AtspiObject &object, const QString &interface,
                                           const QString &name) {
    auto reply = call(object, propertiesInterface, QStringLiteral("Get"), {interface, name});
    if (!reply || reply->isEmpty())
        return std::nullopt;
    return unwrapVariant(reply->first());
}

std::optional<QString> AtspiBus::stringProperty(const AtspiObject &object, const QString &name) {
    auto value = property(object, accessibleInterface, name);
    if (!value || value->metaType() != QMetaType::fromType<QString>())
        return std::nullopt;
    return value->toString();
}

std::optional<AtspiObject> AtspiBus::parent(const AtspiObject &object) {
    // An application's parent is the desktop, which is not part of any
    // application.
    if (isApplicationRoot(object))
        return std::nullopt;
    auto value = property(object, accessibleInterface, QStringLiteral("Parent"));
    if (!value)
        return std::nullopt;
    auto result = objectFrom(*value);
    if (!result || result->service == registryService)
        return std::nullopt;
    return result;
}

std::optional<QList<AtspiObject>> AtspiBus::children(const AtspiObject &object) {
    auto count = property(object, accessibleInterface, QStringLiteral("ChildCount"));
    if (!count)
        return std::nullopt;
    const auto number = integerFrom(*count);
    if (!number || *number > maxChildrenRead)
        return std::nullopt;
    if (*number == 0)
        return QList<AtspiObject>();
    auto reply = call(object, accessibleInterface, QStringLiteral("GetChildren"));
    if (!reply || reply->isEmpty())
        return std::nullopt;
    return objectsFrom(reply->first());
}

std::optional<quint64> AtspiBus::states(const AtspiObject &object) {
    return statesFrom(call(object, accessibleInterface, QStringLiteral("GetState")));
}

std::optional<quint64> AtspiBus::statesFrom(const std::optional<QVariantList> &reply) {
    if (!reply || reply->isEmpty())
        return std::nullopt;
    QList<uint> words;
    const QVariant value = unwrapVariant(reply->first());
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        qvariant_cast<QDBusArgument>(value) >> words;
    else
        words = value.value<QList<uint>>();
    if (words.isEmpty())
        return std::nullopt;
    quint64 bits = words.value(0);
    bits |= quint64(words.value(1)) << 32;
    return bits;
}

bool AtspiBus::hasState(const AtspiObject &object, int state) {
    const auto bits = states(object);
    return bits && (*bits & (quint64(1) << state));
}

QStringList AtspiBus::interfaces(const AtspiObject &object) {
    auto reply = call(object, accessibleInterface, QStringLiteral("GetInterfaces"));
    if (!reply || reply->isEmpty())
        return {};
    const QVariant value = unwrapVariant(reply->first());
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        QStringList names;
        qvariant_cast<QDBusArgument>(value) >> names;
        return names;
    }
    return value.toStringList();
}

std::optional<QHash<QString, QString>> AtspiBus::attributes(const AtspiObject &object) {
    auto reply = call(object, accessibleInterface, QStringLiteral("GetAttributes"));
    if (!reply || reply->isEmpty())
        return std::nullopt;
    const QVariant value = unwrapVariant(reply->first());
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return std::nullopt;
    QMap<QString, QString> map;
    qvariant_cast<QDBusArgument>(value) >> map;
    QHash<QString, QString> result;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        result.insert(it.key(), it.value());
    return result;
}

namespace {

std::optional<QString> textFrom(const std::optional<QVariantList> &reply) {
    if (!reply || reply->isEmpty())
        return std::nullopt;
    const QVariant value = unwrapVariant(reply->first());
    if (value.metaType() != QMetaType::fromType<QString>())
        return std::nullopt;
    return value.toString();
}

} // namespace

std::optional<QString> AtspiBus::text(const AtspiObject &object, qint64 start, qint64 end) {
    const auto clamp = [](qint64 offset) {
        return int(std::clamp<qint64>(offset, -1, std::numeric_limits<int>::max()));
    };
    return userText(object.service, textFrom(call(object, textInterface, QStringLiteral("GetText"),
                                                  {clamp(start), clamp(end)})));
}

QList<std::optional<QString>> AtspiBus::texts(const QList<AtspiObject> &objects) {
    QList<AtspiCall> calls;
    calls.reserve(objects.size());
    for (const AtspiObject &object : objects)
        calls.append({object, textInterface, QStringLiteral("GetText"), {0, -1}});
    QList<std::optional<QString>> result;
    result.reserve(objects.size());
    const QList<std::optional<QVariantList>> replies = callAll(calls);
    for (qsizetype index = 0; index < replies.size(); ++index)
        result.append(userText(objects[index].service, textFrom(replies[index])));
    return result;
}

std::optional<QString> AtspiBus::userText(const QString &service, std::optional<QString> read) {
    if (read && textUnits(service) == TextUnits::paddedUtf16)
        return atspi::withoutSupplementaryPadding(*read);
    return read;
}

std::optional<std::pair<qint64, qint64>> AtspiBus::firstSelection(const AtspiObject &object) {
    const auto selection = reportedSelection(object);
    if (!selection || selection->first == selection->second)
        return std::nullopt;
    return selection;
}

std::optional<std::pair<qint64, qint64>> AtspiBus::reportedSelection(const AtspiObject &object) {
    auto count = call(object, textInterface, QStringLiteral("GetNSelections"));
    if (!count || count->isEmpty())
        return std::nullopt;
    const auto number = integerFrom(count->first());
    if (!number || *number < 1)
        return std::nullopt;
    auto reply = call(object, textInterface, QStringLiteral("GetSelection"), {0});
    if (!reply || reply->size() < 2)
        return std::nullopt;
    const auto start = integerFrom(reply->at(0));
    const auto end = integerFrom(reply->at(1));
    if (!start || !end || *start < 0 || *end < 0)
        return std::nullopt;
    return std::pair{qMin(*start, *end), qMax(*start, *end)};
}

std::optional<qint64> AtspiBus::caretOffset(const AtspiObject &object) {
    auto value = property(object, textInterface, QStringLiteral("CaretOffset"));
    if (!value)
        return std::nullopt;
    const auto offset = integerFrom(*value);
    if (!offset)
        return std::nullopt;
    // Firefox says -1 of the caret of an empty text area that has the
    // focus: there it can only stand at the start.
    if (*offset == -1) {
        const auto count = property(object, textInterface, QStringLiteral("CharacterCount"));
        if (count && integerFrom(*count) == 0 && hasState(object, stateFocused))
            return 0;
    }
    if (*offset < 0)
        return std::nullopt;
    return offset;
}

std::optional<QRect> AtspiBus::rangeExtents(const AtspiObject &object, qint64 start, qint64 end) {
    return extents(object, QStringLiteral("GetRangeExtents"),
                   {int(start), int(end), screenCoordinates}, [] { return true; });
}

std::optional<QRect> AtspiBus::characterExtents(const AtspiObject &object, qint64 offset) {
    return extents(object, QStringLiteral("GetCharacterExtents"), {int(offset), screenCoordinates},
                   [this, &object, offset] {
                       const auto count =
                           property(object, textInterface, QStringLiteral("CharacterCount"));
                       const auto number = count ? integerFrom(*count) : std::nullopt;
                       return number && offset < *number;
                   });
}

std::optional<QRect> AtspiBus::extents(const AtspiObject &object, const QString &method,
                                       const QVariantList &arguments,
                                       const std::function<bool()> &coversText) {
    const auto ask = [&]() -> std::optional<QRect> {
        auto reply = call(object, textInterface, method, arguments);
        return reply ? rectFrom(*reply) : std::nullopt;
    };
    const auto nothing = [](const std::optional<QRect> &rect) {
        return rect && *rect == QRect(0, 0, 0, 0);
    };
    auto rect = ask();
    if (m_extentsAnswered.contains(object.service))
        return rect;
    // Firefox answers an accessibility client's first questions of where
    // text stands with nothing while it fetches the answers from the
    // page's process, which takes a few milliseconds, and more on a busy
    // desktop. Until an application has once answered, nothing where text
    // stands is asked again for a moment. (Nothing is the right answer
    // past the end of a text, where a caret often is.)
    if (nothing(rect) && coversText()) {
        QElapsedTimer waited;
        waited.start();
        while (nothing(rect) && waited.elapsed() < extentsWarmUpMs) {
            QThread::msleep(2);
            rect = ask();
        }
        m_extentsAnswered.insert(object.service);
    } else if (rect && !nothing(rect)) {
        m_extentsAnswered.insert(object.service);
    }
    return rect;
}

std::optional<QList<AtspiObject>> AtspiBus::embeddedObjects(const AtspiObject &object, qint64 first,
                                                            qint64 count) {
    if (first < 0 || count < 0)
        return std::nullopt;
    // A link past the last one names no object: only whether there are
    // links at all needs their number, which the page may count one by one.
    if (count == 0) {
        auto links = call(object, hypertextInterface, QStringLiteral("GetNLinks"));
        const auto number = links && !links->isEmpty() ? integerFrom(links->first()) : std::nullopt;
        if (!number || first > *number)
            return std::nullopt;
        return QList<AtspiObject>();
    }
    // A link is an object of its own, which names the embedded one: two
    // rounds of calls, however many links.
    QList<AtspiCall> calls;
    calls.reserve(qsizetype(count));
    for (qint64 index = first; index < first + count; ++index)
        calls.append({object, hypertextInterface, QStringLiteral("GetLink"), {int(index)}});
    const QList<std::optional<QVariantList>> links = callAll(calls);
    calls.clear();
    for (const std::optional<QVariantList> &link : links) {
        auto linkObject = link && !link->isEmpty() ? objectFrom(link->first()) : std::nullopt;
        if (!linkObject)
            return std::nullopt;
        calls.append({*linkObject, hyperlinkInterface, QStringLiteral("GetObject"), {0}});
    }
    QList<AtspiObject> objects;
    objects.reserve(qsizetype(count));
    for (const std::optional<QVariantList> &target : callAll(calls)) {
        auto embedded = target && !target->isEmpty() ? objectFrom(target->first()) : std::nullopt;
        if (!embedded)
            return std::nullopt;
        objects.append(*embedded);
    }
    return objects;
}

QList<AtspiObject> AtspiBus::applications() {
    auto reply = call(rootOf(registryService), accessibleInterface, QStringLiteral("GetChildren"));
    if (!reply || reply->isEmpty())
        return {};
    return objectsFrom(reply->first()).value_or(QList<AtspiObject>());
}

std::optional<qint32> AtspiBus::processIdentifier(const QString &service) {
    if (const auto known = m_processIdentifiers.constFind(service);
        known != m_processIdentifiers.constEnd())
        return *known;
    auto reply = call(AtspiObject{QStringLiteral("org.freedesktop.DBus"),
                                  QStringLiteral("/org/freedesktop/DBus")},
                      QStringLiteral("org.freedesktop.DBus"),
                      QStringLiteral("GetConnectionUnixProcessID"), {service});
    if (!reply || reply->isEmpty())
        return std::nullopt;
    const auto pid = integerFrom(reply->first());
    if (!pid || *pid <= 0)
        return std::nullopt;
    // Unique bus names are never reused, so the answer holds for good.
    m_processIdentifiers.insert(service, qint32(*pid));
    return qint32(*pid);
}

std::optional<QString> AtspiBus::serviceOfProcess(qint32 processIdentifier) {
    for (const AtspiObject &application : applications()) {
        if (this->processIdentifier(application.service) == processIdentifier)
            return application.service;
    }
    return std::nullopt;
}

bool AtspiBus::countsUtf16(const QString &service) {
    const auto units = textUnits(service);
    // Unknown for now: code points.
    return units && (*units == TextUnits::utf16 || *units == TextUnits::paddedUtf16);
}

bool AtspiBus::terminalsCountCells(const QString &service) {
    return textUnits(service) == TextUnits::utf16;
}

bool AtspiBus::reportsSelectionConvertedTwice(const QString &service) {
    return textUnits(service) == TextUnits::codePointsSelectionTwice;
}

std::optional<AtspiBus::TextUnits> AtspiBus::textUnits(const QString &service) {
    if (const auto known = m_textUnits.constFind(service); known != m_textUnits.constEnd())
        return *known;
    auto toolkit = property(rootOf(service), applicationInterface, QStringLiteral("ToolkitName"));
    if (!toolkit)
        return std::nullopt; // ask again next time
    const QString name = toolkit->toString();
    TextUnits units = TextUnits::codePoints;
    if (name.compare(QLatin1String("Qt"), Qt::CaseInsensitive) == 0)
        units = TextUnits::utf16;
    else if (name.compare(QLatin1String("Gecko"), Qt::CaseInsensitive) == 0)
        units = TextUnits::paddedUtf16;
    else if (name.compare(QLatin1String("Chromium"), Qt::CaseInsensitive) == 0)
        units = TextUnits::codePointsSelectionTwice;
    m_textUnits.insert(service, units);
    return units;
}

std::optional<AtspiObject> AtspiBus::activeWindow(const QString &service) {
    auto windows = children(rootOf(service));
    if (!windows)
        return std::nullopt;
    for (const AtspiObject &window : *windows) {
        if (hasState(window, stateActive))
            return window;
    }
    return std::nullopt;
}

void AtspiBus::setWindowSystemFocus(std::function<WindowSystemFocus()> source) {
    m_windowSystemFocus = std::move(source);
}

std::optional<AtspiObject> AtspiBus::focusedElement(const QString &service,
                                                    ColdReadDeadline &deadline) {
    const auto window = windowWithKeyboardFocus(service);
    if (!window) {
        m_lastFocused.remove(service);
        return std::nullopt;
    }
    // The element found last time is usually still the one, and the states
    // of the elements the search went through to it cost far less than a
    // search of the window. It is taken only where the search would still
    // end at it: GTK 4 leaves the field of a popover it hid in the focused
    // state, and a window that went to the back keeps its own.
    if (const auto last = m_lastFocused.constFind(service); last != m_lastFocused.constEnd()) {
        FoundFocus found = *last;
        if (found.window == *window &&
            FocusSearch::stillFinds(found.path, found.element, [this](const AtspiObject &object) {
                return focusStates(object);
            })) {
            // A look below it finds a field in it that has taken the focus
            // since (a text area in a focused page). Below an element the
            // search does not enter there is none to find: a spreadsheet
            // keeps its sheet focused while a cell is edited, and edits
            // the cell in an editor beside the sheet. The look then starts
            // at the sheet's parent, which holds little besides the sheet.
            const std::optional<FocusStates> own = focusStates(found.element);
            const bool beside = own && !own->entered() && !found.path.isEmpty();
            const AtspiObject from = beside ? found.path.last() : found.element;
            QList<AtspiObject> below;
            if (auto inner = searchFocused(from, &below)) {
                if (beside)
                    found.path.removeLast();
                found.path += below;
                found.element = *inner;
            }
            m_lastFocused.insert(service, found);
            return found.element;
        }
        m_lastFocused.remove(service);
    }
    FoundFocus found{*window, *window, {}};
    auto focused = searchPastTheWindow(*window, &found.path, deadline);
    if (focused) {
        found.element = *focused;
        m_lastFocused.insert(service, found);
    }
    return focused;
}

std::optional<AtspiObject> AtspiBus::searchPastTheWindow(const AtspiObject &window,
                                                         QList<AtspiObject> *path,
                                                         ColdReadDeadline &deadline) {
    // Firefox marks its window focused and nothing in it, or nothing at
    // all, for a moment after a freshly opened page took the focus, the
    // longer the busier the machine: a search that ends at the window
    // looks again, within the job's moment. A window where the focus stays
    // there through a whole moment is not waited for again until a focus
    // is found in it.
    std::optional<AtspiObject> focused = searchFocused(window, path);
    const auto atTheWindow = [&focused, &window] { return !focused || *focused == window; };
    const QString key = window.service + QLatin1Char(' ') + window.path;
    if (atTheWindow() && !m_focusStaysAtWindow.contains(key)) {
        for (int again = 0;
             again < ColdReadDeadline::maxReads && atTheWindow() && !deadline.passed(); ++again) {
            path->clear();
            focused = searchFocused(window, path);
        }
        if (atTheWindow())
            m_focusStaysAtWindow.insert(key);
    }
    if (!atTheWindow())
        m_focusStaysAtWindow.remove(key);
    return focused;
}

std::optional<FocusStates> AtspiBus::focusStates(const AtspiObject &object) {
    // The role comes in the same round trip: it tells how soon to look
    // below the element.
    const auto replies =
        callAll({AtspiCall{object, accessibleInterface, QStringLiteral("GetState"), {}},
                 AtspiCall{object, accessibleInterface, QStringLiteral("GetRoleName"), {}}});
    const auto bits = statesFrom(replies.value(0));
    if (!bits)
        return std::nullopt;
    const auto has = [&bits](int state) { return (*bits & (quint64(1) << state)) != 0; };
    FocusStates focus{has(stateFocused) && !has(stateDefunct), has(stateShowing), has(stateVisible),
                      has(stateManagesDescendants), has(stateEditable)};
    if (focus.managesDescendants && focus.editable) {
        const auto count = property(object, accessibleInterface, QStringLiteral("ChildCount"));
        bool ok = false;
        const qint64 number = count ? count->toLongLong(&ok) : -1;
        if (ok)
            focus.childCount = number;
    }
    const std::optional<QVariantList> role = replies.value(1);
    if (role && !role->isEmpty())
        focus.below = FocusStates::belowRole(role->first().toString(), focus.editable);
    return focus;
}

std::optional<AtspiObject> AtspiBus::searchFocused(const AtspiObject &window,
                                                   QList<AtspiObject> *path) {
    return FocusSearch::focusedElement(
        window, [](const AtspiObject &object) { return object.path; },
        [this](const AtspiObject &object) { return focusStates(object); },
        [this](const AtspiObject &object) {
            QList<AtspiObject> sameApplication;
            for (const AtspiObject &child : children(object).value_or(QList<AtspiObject>())) {
                if (child.service == object.service)
                    sameApplication.append(child);
            }
            return sameApplication;
        },
        maxFocusSearch, path);
}

std::optional<AtspiObject> AtspiBus::windowWithKeyboardFocus(const QString &service) {
    const auto windows = children(rootOf(service));
    if (!windows)
        return std::nullopt;
    for (const AtspiObject &window : *windows) {
        if (hasState(window, stateActive))
            return window;
    }
    // Chromium and Electron mark none of their windows active and keep a
    // focused element in each, hidden ones too: the window system has to
    // say which one the user types in.
    const WindowSystemFocus focus =
        m_windowSystemFocus ? m_windowSystemFocus() : WindowSystemFocus{};
    if (focus.window && focus.window->ownerProcessIdentifier &&
        focus.window->ownerProcessIdentifier == processIdentifier(service))
        return windowNamedBy(*windows, *focus.window);
    if (focus.knowsEveryWindow)
        return std::nullopt;
    // A native window of a Wayland session is known to the bus alone.
    return onlyWindowWithFocusedField(*windows);
}

std::optional<AtspiObject> AtspiBus::windowNamedBy(const QList<AtspiObject> &windows,
                                                   const WindowInfo &named) {
    // Browsers give the frame the window's own title; two windows of one
    // page share it, and then only where they stand tells them apart (as
    // it does where the frame goes by another name).
    QList<AtspiObject> titled;
    if (named.name) {
        for (const AtspiObject &window : windows) {
            if (stringProperty(window, QStringLiteral("Name")) == named.name)
                titled.append(window);
        }
        if (titled.size() == 1)
            return titled.first();
    }
    if (!named.bounds)
        return std::nullopt;
    const QString componentInterface = QStringLiteral("org.a11y.atspi.Component");
    std::optional<AtspiObject> placed;
    for (const AtspiObject &window : titled.isEmpty() ? windows : titled) {
        auto extents =
            call(window, componentInterface, QStringLiteral("GetExtents"), {screenCoordinates});
        if (!extents || rectFrom(*extents) != named.bounds->toRect())
            continue;
        if (placed)
            return std::nullopt;
        placed = window;
    }
    return placed;
}

std::optional<AtspiObject> AtspiBus::onlyWindowWithFocusedField(const QList<AtspiObject> &windows) {
    std::optional<AtspiObject> holding;
    for (const AtspiObject &window : windows) {
        const auto focused = searchFocused(window);
        if (!focused || !hasState(*focused, stateEditable))
            continue;
        if (holding)
            return std::nullopt;
        holding = window;
    }
    return holding;
}

AtspiObject AtspiBus::rootOf(const QString &service) {
    return AtspiObject{service, rootPath};
}

bool AtspiBus::isApplicationRoot(const AtspiObject &object) {
    return object.path == rootPath;
}

} // namespace tovalit
