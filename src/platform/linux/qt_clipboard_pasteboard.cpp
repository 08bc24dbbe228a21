#include "platform/linux/qt_clipboard_pasteboard.h"

#include "support/gui_thread.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <qpa/qplatformnativeinterface.h>

#include <cstdlib>
#include <utility>
#include <xcb/xcb.h>

namespace tovalit {

namespace {

QClipboard *clipboard() {
    return QGuiApplication::clipboard();
}

QClipboard::Mode modeOf(QtClipboardPasteboard::Selection selection) {
    return selection == QtClipboardPasteboard::Selection::primary ? QClipboard::Selection
                                                                  : QClipboard::Clipboard;
}

QByteArray xNameOf(QtClipboardPasteboard::Selection selection) {
    return selection == QtClipboardPasteboard::Selection::primary ? QByteArrayLiteral("PRIMARY")
                                                                  : QByteArrayLiteral("CLIPBOARD");
}

// The X server's time now: that of a change to a property of a window of
// our own, on a connection of our own. (Qt's asks the same way on its own
// connection, but may answer with an older notice of that kind still
// queued there.)
std::optional<xcb_timestamp_t> serverTimeNow() {
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const auto disconnect = qScopeGuard([connection] { xcb_disconnect(connection); });
    const xcb_screen_t *screen = xcb_connection_has_error(connection)
                                     ? nullptr
                                     : xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return std::nullopt;
    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                        8, 0, nullptr);
    xcb_flush(connection);
    while (xcb_generic_event_t *event = xcb_wait_for_event(connection)) {
        const bool changed = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY;
        const xcb_timestamp_t time =
            changed ? reinterpret_cast<xcb_property_notify_event_t *>(event)->time : 0;
        std::free(event);
        if (changed)
            return time;
    }
    return std::nullopt;
}

// Qt's xcb backend takes a selection with the time of the last X event it
// handled. Once another program has taken the selection at a later server
// time (a copy made while ours had no X events for a while), the X server
// refuses that older time; a time fresh from the server it cannot refuse.
bool bringQtsTimeUpToTheServer() {
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    QScreen *screen = QGuiApplication::primaryScreen();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !native || !screen)
        return false;
    using SetTime = void (*)(QScreen *, xcb_timestamp_t);
    const auto setTime = reinterpret_cast<SetTime>(reinterpret_cast<void (*)()>(
        native->nativeResourceFunctionForScreen(QByteArrayLiteral("setapptime"))));
    const std::optional<xcb_timestamp_t> now = serverTimeNow();
    if (!setTime || !now)
        return false;
    setTime(screen, *now);
    return true;
}

} // namespace

QtClipboardPasteboard::QtClipboardPasteboard(ClipboardReadLimits limits, Selection selection)
    : m_context(std::make_unique<QObject>())
    , m_selection(selection) {
    Q_ASSERT(isGuiThread());
    // Only window-system clipboards know who owns them; the in-process one
    // of the offscreen platform always says "not us".
    const QString platform = QGuiApplication::platformName();
    m_tracksOwnership =
        platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
    if (platform == QLatin1String("xcb")) {
        m_reader = std::make_unique<XcbClipboardReader>(limits, xNameOf(selection));
        m_requests = std::make_unique<XcbClipboardRequestWatch>(
            xNameOf(selection),
            [this](const XcbClipboardRequestWatch::Request &request) { requested(request); });
    }
    QObject::connect(clipboard(), &QClipboard::changed, m_context.get(),
                     [this](QClipboard::Mode mode) {
                         if (mode == modeOf(m_selection))
                             clipboardChanged();
                     });
}

void QtClipboardPasteboard::requested(const XcbClipboardRequestWatch::Request &request) {
    // Only the owner is asked: while it is our write, the request is for
    // that.
    if (!m_ownWrite)
        return;
    m_ownWriteRequested = true;
    m_reads.append(
        PasteboardRead{m_requests->processOf(request.requestor),
                       request.forContent && offersForm(m_requests->nameOf(request.target))});
}

QtClipboardPasteboard::~QtClipboardPasteboard() {
    // A clear asked for just before the end still happens.
    if (QGuiApplication::instance())
        passOnClear();
}

bool QtClipboardPasteboard::holdsOwnWrite() const {
    if (!m_ownWrite)
        return false;
    // Asking the owner of a foreign clipboard for its data is a round trip
    // to another process; ownership is known locally.
    if (m_tracksOwnership && !ownsSelection())
        return false;
    const QMimeData *mime = clipboard()->mimeData(modeOf(m_selection));
    // Qt thinks it owns a selection it failed to take, and would ask the
    // real owner for the data.
    if (m_reader && mime != m_written)
        return false;
    return mime && mime->data(ownWriteType) == QByteArray::number(*m_ownWrite);
}

void QtClipboardPasteboard::clipboardChanged() {
    // Our own clears and writes announce themselves too; those were
    // counted already.
    if (m_passingOnClear)
        return;
    if (!holdsOwnWrite()) {
        m_ownWrite.reset();
        ++m_changeCount;
    }
}

qint64 QtClipboardPasteboard::changeCount() {
    Q_ASSERT(isGuiThread());
    // Another client may have taken the clipboard before its notice
    // reached us.
    if (m_ownWrite && !holdsOwnWrite()) {
        m_ownWrite.reset();
        ++m_changeCount;
    }
    return m_changeCount;
}

QCoro::Task<QList<PasteboardItem>> QtClipboardPasteboard::pasteboardItems() {
    Q_ASSERT(isGuiThread());
    // Qt's own reading of a foreign clipboard converts every form the
    // owner offers, each a blocking round trip on this thread.
    passOnClear();
    PasteboardItem item;
    if (m_reader && !ownsSelection())
        item.representations = co_await m_reader->read();
    else
        item.representations = localRepresentations();
    if (item.representations.isEmpty())
        co_return QList<PasteboardItem>{};
    co_return QList<PasteboardItem>{item};
}

QList<PasteboardRepresentation> QtClipboardPasteboard::localRepresentations() const {
    QList<PasteboardRepresentation> representations;
    const QMimeData *mime = clipboard()->mimeData(modeOf(m_selection));
    if (!mime)
        return representations;
    for (const QString &format : mime->formats()) {
        if (format == ownWriteType)
            continue;
        // An empty form is not worth keeping.
        QByteArray data = mime->data(format);
        if (data.isEmpty())
            representations.append({format, std::nullopt, QStringLiteral("empty")});
        else
            representations.append({format, std::move(data), {}});
    }
    return representations;
}

void QtClipboardPasteboard::clearContents() {
    Q_ASSERT(isGuiThread());
    m_ownWrite.reset();
    m_reads.clear();
    ++m_changeCount;
    // On X a clear gives the selection to nobody, whoever held it. GNOME's
    // compositor, which carries the X clipboard into its Wayland session,
    // answers that by taking the selection itself with the server's time
    // of the moment, and on a busy desktop it does so after the write that
    // followed the clear: our write is gone, and the paste's keys then
    // paste what the user had copied before. A write that follows at once
    // takes the place of the clear instead.
    if (!std::exchange(m_clearPending, true))
        QTimer::singleShot(0, m_context.get(), [this] { passOnClear(); });
}

void QtClipboardPasteboard::passOnClear() {
    if (!std::exchange(m_clearPending, false))
        return;
    m_passingOnClear = true;
    clipboard()->clear(modeOf(m_selection));
    m_passingOnClear = false;
}

bool QtClipboardPasteboard::writeObjects(const QList<PasteboardItem> &items) {
    Q_ASSERT(isGuiThread());
    if (mimeDataOf(items)->formats().isEmpty()) {
        passOnClear();
        return false;
    }
    m_clearPending = false;
    if (take(items) || (bringQtsTimeUpToTheServer() && take(items)))
        return true;
    // As if the clear had gone first: a write that failed leaves the
    // clipboard empty, never holding what was there before as if it were
    // ours.
    m_clearPending = true;
    passOnClear();
    return false;
}

bool QtClipboardPasteboard::take(const QList<PasteboardItem> &items) {
    std::unique_ptr<QMimeData> mime = mimeDataOf(items);
    const qint64 serial = ++m_changeCount;
    mime->setData(ownWriteType, QByteArray::number(serial));
    m_ownWrite = serial;
    m_ownWriteRequested = false;
    m_reads.clear();
    m_writtenForms = mime->formats();
    m_written = mime.get();
    clipboard()->setMimeData(mime.release(), modeOf(m_selection));
    if (holdsOwnWrite())
        return true;
    m_ownWrite.reset();
    ++m_changeCount;
    return false;
}

std::unique_ptr<QMimeData> QtClipboardPasteboard::mimeDataOf(const QList<PasteboardItem> &items) {
    // The X clipboard holds one item; later items add the forms the first
    // does not have.
    auto mime = std::make_unique<QMimeData>();
    for (const PasteboardItem &item : items) {
        for (const PasteboardRepresentation &representation : item.representations) {
            if (representation.data && !mime->hasFormat(representation.type))
                mime->setData(representation.type, *representation.data);
        }
    }
    return mime;
}

bool QtClipboardPasteboard::ownsSelection() const {
    return m_selection == Selection::primary ? clipboard()->ownsSelection()
                                             : clipboard()->ownsClipboard();
}

bool QtClipboardPasteboard::offersForm(const QByteArray &form) const {
    const QString name = QString::fromLatin1(form);
    if (m_writtenForms.contains(name))
        return true;
    // Qt hands text out under the X names of text too.
    static const QStringList textForms{QStringLiteral("UTF8_STRING"), QStringLiteral("STRING"),
                                       QStringLiteral("TEXT"), QStringLiteral("COMPOUND_TEXT")};
    return m_writtenForms.contains(Pasteboard::stringType) &&
           (textForms.contains(name) || name.startsWith(QLatin1String("text/plain")));
}

bool QtClipboardPasteboard::seesReads() {
    return m_requests != nullptr;
}

QList<PasteboardRead> QtClipboardPasteboard::readsOfLastWrite() {
    Q_ASSERT(isGuiThread());
    return m_reads;
}

bool QtClipboardPasteboard::sessionHasLastWrite() {
    Q_ASSERT(isGuiThread());
    // Off X, or with the clipboard no longer ours, nothing is on its way.
    return !m_requests || !holdsOwnWrite() || m_ownWriteRequested;
}

} // namespace tovalit
