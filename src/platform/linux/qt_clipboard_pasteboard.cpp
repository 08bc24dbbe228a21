#include "platform/linux/qt_clipboard_pasteboard.h"

#include "support/gui_thread.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

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

QtClipboardPasteboard::~QtClipboardPasteboard() = default;

bool QtClipboardPasteboard::holdsOwnWrite() const {
    if (!m_ownWrite)
        return false;
    // Asking the owner of a foreign clipboard for its data is a round trip
    // to another process; ownership is known locally.
    if (m_tracksOwnership && !ownsSelection())
        return false;
    const QMimeData *mime = clipboard()->mimeData(modeOf(m_selection));
    return mime && mime->data(ownWriteType) == QByteArray::number(*m_ownWrite);
}

void QtClipboardPasteboard::clipboardChanged() {
    // Our own write announces itself too; that one was counted already.
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
    clipboard()->clear(modeOf(m_selection));
}

bool QtClipboardPasteboard::writeObjects(const QList<PasteboardItem> &items) {
    Q_ASSERT(isGuiThread());
    // The X clipboard holds one item; later items add the forms the first
    // does not have.
    auto mime = std::make_unique<QMimeData>();
    for (const PasteboardItem &item : items) {
        for (const PasteboardRepresentation &representation : item.representations) {
            if (representation.data && !mime->hasFormat(representation.type))
                mime->setData(representation.type, *representation.data);
        }
    }
    if (mime->formats().isEmpty())
        return false;
    const qint64 serial = ++m_changeCount;
    mime->setData(ownWriteType, QByteArray::number(serial));
    m_ownWrite = serial;
    m_ownWriteRequested = false;
    m_reads.clear();
    m_writtenForms = mime->formats();
    clipboard()->setMimeData(mime.release(), modeOf(m_selection));
    if (holdsOwnWrite())
        return true;
    m_ownWrite.reset();
    ++m_changeCount;
    return false;
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
