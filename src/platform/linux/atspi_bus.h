#pragma once

#include "platform/cold_read.h"
#include "platform/focus_search.h"
#include "platform/window_system.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QRect>
#include <QSet>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

namespace tovalit {

// One object on the accessibility bus: the connection that serves it and
// its object path.
struct AtspiObject {
    QString service;
    QString path;

    bool operator==(const AtspiObject &) const = default;
};

// One method call on the bus.
struct AtspiCall {
    AtspiObject object;
    QString interface;
    QString method;
    QVariantList arguments;
};

// What the window system says of the window that has the keyboard focus.
struct WindowSystemFocus {
    // The window system knows every window of the session (X11), so an
    // application none of whose windows it names is not in front.
    bool knowsEveryWindow = false;
    // The focused window, when the window system names one.
    std::optional<WindowInfo> window;
};

// The client side of the accessibility bus (AT-SPI 2), spoken directly over
// D-Bus. Lives on the accessibility thread; not thread-safe.
//
// Every call has a deadline, and an application that misses one is left
// alone for a moment, so a hung application costs one timeout per capture
// rather than one per attribute.
class AtspiBus {
public:
    explicit AtspiBus(int callTimeoutMilliseconds = 800);
    ~AtspiBus();
    AtspiBus(const AtspiBus &) = delete;
    AtspiBus &operator=(const AtspiBus &) = delete;

    // True when the session's accessibility bus answers and accessibility
    // is switched on; connects (again) as needed. Asked anew each time.
    bool connectIfEnabled();

    // A method call's reply arguments, or nothing on any failure.
    std::optional<QVariantList> call(const AtspiObject &object, const QString &interface,
                                     const QString &method, const QVariantList &arguments = {});
    // The calls' replies in their order, each as call() gives it; all are
    // sent before the first reply is awaited.
    QList<std::optional<QVariantList>> callAll(const QList<AtspiCall> &calls);
    std::optional<QVariant> property(const AtspiObject &object, const QString &interface,
                                     const QString &name);

    // Accessible interface.
    std::optional<QString> stringProperty(const AtspiObject &object, const QString &name);
    std::optional<AtspiObject> parent(const AtspiObject &object);
    std::optional<QList<AtspiObject>> children(const AtspiObject &object);
    std::optional<quint64> states(const AtspiObject &object);
    bool hasState(const AtspiObject &object, int state);
    QStringList interfaces(const AtspiObject &object);
    std::optional<QHash<QString, QString>> attributes(const AtspiObject &object);

    // Text interface, in the application's own offset unit. Texts come as
    // the user wrote them: Firefox's padding (see countsUtf16()) is taken
    // out.
    std::optional<QString> text(const AtspiObject &object, qint64 start, qint64 end);
    // The whole text of each, in one round of calls.
    QList<std::optional<QString>> texts(const QList<AtspiObject> &objects);
    std::optional<std::pair<qint64, qint64>> firstSelection(const AtspiObject &object);
    // The first selection as the application reports it, empty or not,
    // where it says it holds one.
    std::optional<std::pair<qint64, qint64>> reportedSelection(const AtspiObject &object);
    std::optional<qint64> caretOffset(const AtspiObject &object);
    std::optional<QRect> rangeExtents(const AtspiObject &object, qint64 start, qint64 end);
    std::optional<QRect> characterExtents(const AtspiObject &object, qint64 offset);
    // Hypertext interface: the objects embedded in the element's text at
    // the links [first, first + count), in the order of their links (and
    // of their U+FFFC in the text); nothing when the element has fewer.
    // Only those links are asked for, however many the text holds.
    std::optional<QList<AtspiObject>> embeddedObjects(const AtspiObject &object, qint64 first,
                                                      qint64 count);

    // Applications on the bus, and what is known about each.
    QList<AtspiObject> applications();
    std::optional<QString> serviceOfProcess(qint32 processIdentifier);
    std::optional<qint32> processIdentifier(const QString &service);
    // Qt counts text offsets in UTF-16 code units, and so does Firefox,
    // whose texts are padded on the bus to match; the other toolkits count
    // code points.
    bool countsUtf16(const QString &service);
    // Konsole, of Qt, counts its screen's text in cells (a wide character
    // two, every row as wide as the screen); so may any terminal of Qt.
    bool terminalsCountCells(const QString &service);
    // Chromium counts code points, but reports a selection as if it had
    // turned UTF-16 offsets into code points twice (see
    // atspi::selectionConvertedOnce).
    bool reportsSelectionConvertedTwice(const QString &service);

    // Asked whenever an application marks none of its windows active.
    void setWindowSystemFocus(std::function<WindowSystemFocus()> source);

    // The application's active window, and the element inside it that has
    // the keyboard focus: the innermost one in the focused state. A search
    // that ends at the window looks again within `deadline`.
    std::optional<AtspiObject> activeWindow(const QString &service);
    std::optional<AtspiObject> focusedElement(const QString &service, ColdReadDeadline &deadline);

    static AtspiObject rootOf(const QString &service);
    static bool isApplicationRoot(const AtspiObject &object);

    // AT-SPI state numbers used here.
    static constexpr int stateActive = 1;
    static constexpr int stateDefunct = 6;
    static constexpr int stateEditable = 7;
    static constexpr int stateFocused = 12;
    static constexpr int stateShowing = 25;
    static constexpr int stateVisible = 30;
    static constexpr int stateManagesDescendants = 31;
    static constexpr int stateReadOnly = 43;

private:
    enum class TextUnits { codePoints, utf16, paddedUtf16, codePointsSelectionTwice };
    // Nothing while the application does not say which toolkit it uses.
    std::optional<TextUnits> textUnits(const QString &service);
    // The text the user wrote, from what the application read.
    std::optional<QString> userText(const QString &service, std::optional<QString> read);
    bool isUnresponsive(const QString &service);
    // After a missed deadline: whether the application is only busy rather
    // than hung, asked once in the background.
    void askWhetherLate(const QString &service);
    // The call's message; nothing when it is not to be sent.
    std::optional<QDBusMessage> message(const AtspiCall &call);
    // A reply's arguments, or nothing; an application that missed its
    // deadline is left alone for a moment.
    std::optional<QVariantList> answer(const AtspiObject &object, const QDBusMessage &reply);
    // The focused element found last time in a window, with the elements
    // the search went through to it (the window first).
    struct FoundFocus {
        AtspiObject window;
        AtspiObject element;
        QList<AtspiObject> path;
    };

    // A Text interface's extents of text, asked again while an application
    // that never answered before answers nothing where `coversText` says
    // text stands.
    std::optional<QRect> extents(const AtspiObject &object, const QString &method,
                                 const QVariantList &arguments,
                                 const std::function<bool()> &coversText);
    static std::optional<quint64> statesFrom(const std::optional<QVariantList> &reply);
    std::optional<FocusStates> focusStates(const AtspiObject &object);
    std::optional<AtspiObject> searchFocused(const AtspiObject &window,
                                             QList<AtspiObject> *path = nullptr);
    // The search of a window for its focus, looked at again while it
    // ends at the window.
    std::optional<AtspiObject> searchPastTheWindow(const AtspiObject &window,
                                                   QList<AtspiObject> *path,
                                                   ColdReadDeadline &deadline);
    // The window the user types in: the one the application marks active,
    // else the one the window system names, else the only one holding a
    // focused field; nothing where that cannot be told.
    std::optional<AtspiObject> windowWithKeyboardFocus(const QString &service);
    std::optional<AtspiObject> windowNamedBy(const QList<AtspiObject> &windows,
                                             const WindowInfo &named);
    std::optional<AtspiObject> onlyWindowWithFocusedField(const QList<AtspiObject> &windows);

    int m_callTimeout;
    QString m_connectionName;
    QString m_address;
    QDBusConnection m_connection;
    QHash<QString, qint32> m_processIdentifiers;
    QHash<QString, TextUnits> m_textUnits;
    QHash<QString, FoundFocus> m_lastFocused;
    // Windows whose focus stayed at the window through a whole moment.
    QSet<QString> m_focusStaysAtWindow;
    std::function<WindowSystemFocus()> m_windowSystemFocus;
    // Applications that have answered where their text stands.
    QSet<QString> m_extentsAnswered;
    QHash<QString, qint64> m_unresponsiveUntil; // service -> m_clock milliseconds
    // Of the applications left alone: the read that says they answer again.
    QHash<QString, QDBusPendingCall> m_lateProbes;
    QElapsedTimer m_clock;
};

} // namespace tovalit
