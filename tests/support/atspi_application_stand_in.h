#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QHash>
#include <QList>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit::testing {

// An application on the session's accessibility bus as a test scripts it:
// a tree of accessible objects with the roles, states, texts and carets the
// test gives them, served under the test's own connection name, so that
// the real AT-SPI client can be driven through what toolkits do to their
// trees. It answers what that client reads (the Accessible interface, the
// Text interface's reads, the application's toolkit name) and nothing
// else. Lives on the test's thread, which must run its event loop while
// the client reads (run the client on the accessibility thread).
class AtspiApplicationStandIn final : public QDBusVirtualObject {
public:
    // AT-SPI state numbers, as bits of states().
    static constexpr quint64 active = quint64(1) << 1;
    static constexpr quint64 defunct = quint64(1) << 6;
    static constexpr quint64 editable = quint64(1) << 7;
    static constexpr quint64 focused = quint64(1) << 12;
    static constexpr quint64 showing = quint64(1) << 25;
    static constexpr quint64 visible = quint64(1) << 30;
    static constexpr quint64 managesDescendants = quint64(1) << 31;

    // Connects to the accessibility bus (switching accessibility on) and
    // serves the application's root; a failure is reported to the test
    // and gives nothing.
    static std::unique_ptr<AtspiApplicationStandIn> start();
    ~AtspiApplicationStandIn() override;

    // The connection's unique name: the application's service on the bus.
    QString service() const { return m_connection.baseService(); }
    // The object path of the application's root.
    static QString rootPath();

    // A new object at the end of `parent`'s children; returns its path.
    QString add(const QString &parent, const QString &role, quint64 states);
    // Takes the object and what it holds out of the tree: they no longer
    // answer, as an object the toolkit has freed.
    void remove(const QString &path);
    void setStates(const QString &path, quint64 states);
    void setName(const QString &path, const QString &name);
    // Where the object stands on screen (the Component interface's extents).
    void setExtents(const QString &path, const QRect &extents);
    // Gives the object a text, with the caret at `caret` (an offset in
    // code points, or what the toolkit says for none) and no selection.
    // Offsets and counts of its text are in code points, as most toolkits
    // count them.
    void setText(const QString &path, const QString &text, qint64 caret);
    // The object's text says it holds one selection, [start, end) as the
    // toolkit reports it, whatever that means.
    void setSelection(const QString &path, qint64 start, qint64 end);
    // The name the application gives its toolkit ("stand-in" by default).
    void setToolkit(const QString &name) { m_toolkit = name; }
    // The object says it holds `count` children, whatever it lists: a
    // spreadsheet's sheet counts every cell it could hold.
    void setChildCount(const QString &path, qint64 count);
    // How often the object's children were listed.
    int childrenListed(const QString &path) const { return m_childrenListed.value(path); }
    // Runs `then` once, as soon as the object's states were answered.
    void afterStatesRead(const QString &path, std::function<void()> then);

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;
    QString introspect(const QString &path) const override;

private:
    struct Object {
        QString parent;
        QList<QString> children;
        QString role;
        quint64 states = 0;
        std::optional<QString> text;
        qint64 caret = 0;
        std::optional<std::pair<qint64, qint64>> selection;
        QString name;
        std::optional<QRect> extents;
        std::optional<qint64> childCount;
    };

    explicit AtspiApplicationStandIn(QDBusConnection connection);
    bool answerProperty(const QDBusMessage &message, const Object &object);
    bool answerAccessible(const QDBusMessage &message, const Object &object);
    bool answerText(const QDBusMessage &message, const Object &object);
    bool answerComponent(const QDBusMessage &message, const Object &object);
    QVariant reference(const QString &path) const;

    QDBusConnection m_connection;
    QHash<QString, Object> m_objects;
    QString m_toolkit = QStringLiteral("stand-in");
    QHash<QString, std::function<void()>> m_afterStates;
    QHash<QString, int> m_childrenListed;
    int m_made = 0;
};

} // namespace tovalit::testing
