#include "tests/support/atspi_application_stand_in.h"

#include "tests/support/test_editor_process.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <gtest/gtest.h>

namespace {

// One object of the bus, as AT-SPI names it: its connection and its path.
struct AtspiReference {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument &operator<<(QDBusArgument &argument, const AtspiReference &reference) {
    argument.beginStructure();
    argument << reference.service << reference.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, AtspiReference &reference) {
    argument.beginStructure();
    argument >> reference.service >> reference.path;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(AtspiReference)

namespace tovalit::testing {

namespace {

const QString objectsPath = QStringLiteral("/org/a11y/atspi/accessible");
const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString textInterface = QStringLiteral("org.a11y.atspi.Text");
const QString editableTextInterface = QStringLiteral("org.a11y.atspi.EditableText");
const QString componentInterface = QStringLiteral("org.a11y.atspi.Component");
const QString applicationInterface = QStringLiteral("org.a11y.atspi.Application");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QVariant inVariant(const QVariant &value) {
    return QVariant::fromValue(QDBusVariant(value));
}

} // namespace

std::unique_ptr<AtspiApplicationStandIn> AtspiApplicationStandIn::start() {
    qDBusRegisterMetaType<AtspiReference>();
    qDBusRegisterMetaType<QList<AtspiReference>>();
    if (!setDesktopAccessibilityEnabled(true)) {
        ADD_FAILURE() << "the accessibility bus cannot be switched on";
        return nullptr;
    }
    const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
    const QString address = reply.arguments().value(0).toString();
    if (reply.type() != QDBusMessage::ReplyMessage || address.isEmpty()) {
        ADD_FAILURE() << "the accessibility bus has no address: "
                      << reply.errorMessage().toStdString();
        return nullptr;
    }
    static int connections = 0;
    QDBusConnection connection = QDBusConnection::connectToBus(
        address, QStringLiteral("atspi-application-stand-in-%1").arg(++connections));
    std::unique_ptr<AtspiApplicationStandIn> standIn(new AtspiApplicationStandIn(connection));
    if (!connection.isConnected() ||
        !connection.registerVirtualObject(objectsPath, standIn.get(), QDBusConnection::SubPath)) {
        ADD_FAILURE() << "cannot serve an application on the accessibility bus";
        return nullptr;
    }
    return standIn;
}

AtspiApplicationStandIn::AtspiApplicationStandIn(QDBusConnection connection)
    : m_connection(std::move(connection)) {
    m_objects.insert(
        rootPath(), Object{QString(), {}, QStringLiteral("application"), 0, {}, 0, {}, {}, {}, {}});
}

AtspiApplicationStandIn::~AtspiApplicationStandIn() {
    m_connection.unregisterObject(objectsPath, QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(m_connection.name());
}

QString AtspiApplicationStandIn::rootPath() {
    return objectsPath + QStringLiteral("/root");
}

QString AtspiApplicationStandIn::add(const QString &parent, const QString &role, quint64 states) {
    const QString path = objectsPath + QStringLiteral("/%1").arg(++m_made);
    m_objects.insert(path, Object{parent, {}, role, states, {}, 0, {}, {}, {}, {}});
    m_objects[parent].children.append(path);
    return path;
}

void AtspiApplicationStandIn::remove(const QString &path) {
    const Object object = m_objects.take(path);
    for (const QString &child : object.children)
        remove(child);
    if (const auto parent = m_objects.find(object.parent); parent != m_objects.end())
        parent->children.removeAll(path);
}

void AtspiApplicationStandIn::setChildCount(const QString &path, qint64 count) {
    m_objects[path].childCount = count;
}

void AtspiApplicationStandIn::setStates(const QString &path, quint64 states) {
    m_objects[path].states = states;
}

void AtspiApplicationStandIn::setName(const QString &path, const QString &name) {
    m_objects[path].name = name;
}

void AtspiApplicationStandIn::setExtents(const QString &path, const QRect &extents) {
    m_objects[path].extents = extents;
}

void AtspiApplicationStandIn::setText(const QString &path, const QString &text, qint64 caret) {
    m_objects[path].text = text;
    m_objects[path].caret = caret;
}

void AtspiApplicationStandIn::setSelection(const QString &path, qint64 start, qint64 end) {
    m_objects[path].selection = std::pair{start, end};
}

QVariant AtspiApplicationStandIn::reference(const QString &path) const {
    return QVariant::fromValue(AtspiReference{service(), QDBusObjectPath(path)});
}

bool AtspiApplicationStandIn::handleMessage(const QDBusMessage &message, const QDBusConnection &) {
    const auto found = m_objects.constFind(message.path());
    bool answered = false;
    if (found != m_objects.constEnd()) {
        if (message.interface() == propertiesInterface)
            answered = answerProperty(message, *found);
        else if (message.interface() == accessibleInterface)
            answered = answerAccessible(message, *found);
        else if (message.interface() == textInterface && found->text)
            answered = answerText(message, *found);
        else if (message.interface() == componentInterface && found->extents)
            answered = answerComponent(message, *found);
    }
    // Every call gets an answer: a client takes silence for a hung
    // application and leaves it alone for a while.
    if (!answered)
        m_connection.send(message.createErrorReply(QDBusError::UnknownMethod,
                                                   QStringLiteral("not served by the stand-in")));
    if (message.interface() == accessibleInterface && message.member() == u"GetState") {
        if (auto then = m_afterStates.take(message.path()))
            then();
    }
    return true;
}

void AtspiApplicationStandIn::afterStatesRead(const QString &path, std::function<void()> then) {
    m_afterStates.insert(path, std::move(then));
}

bool AtspiApplicationStandIn::answerProperty(const QDBusMessage &message, const Object &object) {
    if (message.member() != QLatin1String("Get"))
        return false;
    const QString interface = message.arguments().value(0).toString();
    const QString name = message.arguments().value(1).toString();
    QVariant value;
    if (interface == accessibleInterface && name == QLatin1String("Parent") &&
        !object.parent.isEmpty())
        value = reference(object.parent);
    else if (interface == accessibleInterface && name == QLatin1String("ChildCount"))
        value = int(object.childCount.value_or(object.children.size()));
    else if (interface == accessibleInterface && name == QLatin1String("Name"))
        value = object.name;
    else if (interface == accessibleInterface && name == QLatin1String("Description"))
        value = QString();
    else if (interface == textInterface && object.text && name == QLatin1String("CaretOffset"))
        value = int(object.caret);
    else if (interface == textInterface && object.text && name == QLatin1String("CharacterCount"))
        value = int(object.text->toUcs4().size());
    else if (interface == applicationInterface && name == QLatin1String("ToolkitName"))
        value = m_toolkit;
    if (!value.isValid())
        return false;
    m_connection.send(message.createReply(inVariant(value)));
    return true;
}

bool AtspiApplicationStandIn::answerAccessible(const QDBusMessage &message, const Object &object) {
    const QString member = message.member();
    QVariant value;
    if (member == QLatin1String("GetState")) {
        value = QVariant::fromValue(
            QList<uint>{uint(object.states & 0xffffffffu), uint(object.states >> 32)});
    } else if (member == QLatin1String("GetChildren")) {
        ++m_childrenListed[message.path()];
        QList<AtspiReference> children;
        for (const QString &child : object.children)
            children.append(AtspiReference{service(), QDBusObjectPath(child)});
        value = QVariant::fromValue(children);
    } else if (member == QLatin1String("GetRoleName") ||
               member == QLatin1String("GetLocalizedRoleName")) {
        value = object.role;
    } else if (member == QLatin1String("GetInterfaces")) {
        QStringList names{accessibleInterface};
        if (object.text)
            names << textInterface;
        if (object.text && (object.states & editable))
            names << editableTextInterface;
        if (object.extents)
            names << componentInterface;
        value = names;
    }
    if (!value.isValid())
        return false;
    m_connection.send(message.createReply(value));
    return true;
}

bool AtspiApplicationStandIn::answerText(const QDBusMessage &message, const Object &object) {
    const QString member = message.member();
    QVariant value;
    if (member == QLatin1String("GetNSelections")) {
        value = object.selection ? 1 : 0;
    } else if (member == QLatin1String("GetSelection") && object.selection &&
               message.arguments().value(0).toInt() == 0) {
        QList<QVariant> reply{int(object.selection->first), int(object.selection->second)};
        m_connection.send(message.createReply(reply));
        return true;
    } else if (member == QLatin1String("GetText")) {
        const QList<uint> codePoints = object.text->toUcs4();
        const int start = qBound(0, message.arguments().value(0).toInt(), int(codePoints.size()));
        int end = message.arguments().value(1).toInt();
        if (end < 0 || end > codePoints.size())
            end = int(codePoints.size());
        const QList<uint> read = codePoints.mid(start, qMax(0, end - start));
        value =
            QString::fromUcs4(reinterpret_cast<const char32_t *>(read.constData()), read.size());
    }
    if (!value.isValid())
        return false;
    m_connection.send(message.createReply(value));
    return true;
}

bool AtspiApplicationStandIn::answerComponent(const QDBusMessage &message, const Object &object) {
    if (message.member() != QLatin1String("GetExtents"))
        return false;
    QDBusArgument extents;
    extents.beginStructure();
    extents << object.extents->x() << object.extents->y() << object.extents->width()
            << object.extents->height();
    extents.endStructure();
    m_connection.send(message.createReply(QVariant::fromValue(extents)));
    return true;
}

QString AtspiApplicationStandIn::introspect(const QString &) const {
    return QString();
}

} // namespace tovalit::testing
