#include "views/design/tovalit_symbol.h"

#include <QFile>
#include <QLoggingCategory>
#include <QPainter>
#include <QPixmapCache>
#include <QSet>
#include <QSvgRenderer>

#include <cmath>
#include <map>
#include <memory>

Q_LOGGING_CATEGORY(lcSymbols, "tovalit.symbols")

namespace tovalit {

namespace TovalitSymbol {

namespace {

QString resourcePath(const QString &name) {
    return QStringLiteral(":/symbols/") + name + QStringLiteral(".svg");
}

// Parsed once per symbol; the renderers live as long as the process and
// go with it.
QSvgRenderer *renderer(const QString &name) {
    static std::map<QString, std::unique_ptr<QSvgRenderer>> renderers;
    if (auto found = renderers.find(name); found != renderers.end())
        return found->second.get();
    std::unique_ptr<QSvgRenderer> result;
    if (QFile::exists(resourcePath(name))) {
        result = std::make_unique<QSvgRenderer>(resourcePath(name));
        if (!result->isValid())
            result.reset();
    }
    if (!result)
        qCWarning(lcSymbols).noquote() << "no drawing for symbol" << name;
    return renderers.emplace(name, std::move(result)).first->second.get();
}

} // namespace

bool exists(const QString &name) {
    return QFile::exists(resourcePath(name));
}

qreal side(qreal pixelSize) {
    return std::round(pixelSize * 1.2);
}

QPixmap pixmap(const QString &name, qreal side, const QColor &color, qreal devicePixelRatio) {
    const int pixels = qMax(1, int(std::ceil(side * devicePixelRatio)));
    const QString key = QStringLiteral("tovalit-symbol:%1:%2:%3")
                            .arg(name)
                            .arg(pixels)
                            .arg(color.name(QColor::HexArgb));
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;

    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (QSvgRenderer *svg = renderer(name)) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg->render(&painter, QRectF(0, 0, pixels, pixels));
        // Every drawing is black on transparent: keep its coverage, take
        // the colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, result);
    return result;
}

void paint(QPainter &painter, const QRectF &box, const QString &name, const QColor &color) {
    const qreal length = qMin(box.width(), box.height());
    if (length <= 0)
        return;
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QRectF target(box.center().x() - length / 2, box.center().y() - length / 2, length,
                        length);
    painter.drawPixmap(target, pixmap(name, length, color, ratio), QRectF());
}

} // namespace TovalitSymbol

TovalitSymbolView::TovalitSymbolView(QString name, qreal pixelSize, QColor color, QWidget *parent)
    : QWidget(parent)
    , m_name(std::move(name))
    , m_pixelSize(pixelSize)
    , m_color(std::move(color)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TovalitSymbolView::setSymbol(const QString &name, const QColor &color) {
    if (name == m_name && color == m_color)
        return;
    m_name = name;
    m_color = color;
    update();
}

QSize TovalitSymbolView::sizeHint() const {
    const int length = int(TovalitSymbol::side(m_pixelSize));
    return {length, length};
}

void TovalitSymbolView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    TovalitSymbol::paint(painter, rect(), m_name, m_color);
}

} // namespace tovalit
