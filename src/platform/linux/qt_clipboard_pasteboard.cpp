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

} // namespace

QtClipboardPasteboard::QtClipboardPasteboard(ClipboardReadLimits limits)
    : m_context(std::make_unique<QObject>()) {
    Q_ASSERT(isGuiThread());
    // Only window-system clipboards know who owns them; the in-process one
    // of the offscreen platform always says "not us".
    const QString platform = QGuiApplication::platformName();
    m_tracksOwnership =
        platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
    if (platform == QLatin1String("xcb")) {
        m_reader = std::make_unique<XcbClipboardReader>(limits);
        // Only the owner is asked: while it is our write, the request is
        // for that.
        m_requests = std::make_unique<XcbClipboardRequestWatch>([this] {
            if (m_ownWrite)
                m_ownWriteRequested = true;
        });
    }
    QObject::connect(clipboard(), &QClipboard::changed, m_context.get(),
                     [this](QClipboard::Mode mode) {
                         if (mode == QClipboard::Clipboard)
                             clipboardChanged();
                     });
}

QtClipboardPasteboard::~QtClipboardPasteboard() = default;

bool QtClipboardPasteboard::holdsOwnWrite() const {
    if (!m_ownWrite)
        return false;
    // Asking the owner of a foreign clipboard for its data is a round trip
    // to another process; ownership is known locally.
    if (m_tracksOwnership && !clipboard()->ownsClipboard())
        return false;
    const QMimeData *mime = clipboard()->mimeData(QClipboard::Clipboard);
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
    if (m_reader && !clipboard()->ownsClipboard())
        item.representations = co_await m_reader->read();
    else
        item.representations = localRepresentations();
    if (item.representations.isEmpty())
        co_return QList<PasteboardItem>{};
    co_return QList<PasteboardItem>{item};
}

QList<PasteboardRepresentation> QtClipboardPasteboard::localRepresentations() const {
    QList<PasteboardRepresentation> representations;
    const QMimeData *mime = clipboard()->mimeData(QClipboard::Clipboard);
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
    ++m_changeCount;
    clipboard()->clear(QClipboard::Clipboard);
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
    clipboard()->setMimeData(mime.release(), QClipboard::Clipboard);
    if (holdsOwnWrite())
        return true;
    m_ownWrite.reset();
    ++m_changeCount;
    return false;
}

bool QtClipboardPasteboard::sessionHasLastWrite() {
    Q_ASSERT(isGuiThread());
    // Off X, or with the clipboard no longer ours, nothing is on its way.
    return !m_requests || !holdsOwnWrite() || m_ownWriteRequested;
}

} // namespace tovalit
