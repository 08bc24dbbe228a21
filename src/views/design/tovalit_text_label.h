#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>

namespace tovalit {

// Plain text as the design draws it: never interpreted as markup, wrapped
// at word boundaries or between any two Chinese characters, with optional
// extra line spacing and an optional line limit (the last shown line ends
// in "…"). Reports its height for a width, so layouts give wrapped text all
// the lines it needs. Without wrapping it stays on one line and is elided.
class TovalitTextLabel : public QLabel {
    Q_OBJECT
public:
    TovalitTextLabel(const QString &text, const QFont &font, const QColor &color,
                     QWidget *parent = nullptr);

    const QColor &color() const { return m_color; }
    void setColor(const QColor &color);
    // Extra space between lines, in pixels.
    void setLineSpacing(qreal spacing);
    // 0: no limit.
    void setMaximumLineCount(int count);
    int maximumLineCount() const { return m_maximumLineCount; }
    void setWraps(bool wraps);
    bool wraps() const { return m_wraps; }

    // The lines the text takes at `width` (after the line limit); 1 for
    // single-line text.
    int lineCountForWidth(int width) const;
    // Whether the text is cut at `width` (line limit or elision).
    bool isTruncatedAtWidth(int width) const;

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Measure {
        int lines = 0;
        qreal height = 0;
        bool truncated = false;
    };
    Measure measure(qreal width) const;
    QString layoutText() const;
    qreal naturalWidth() const;

    // Layouts ask for the height at the same width many times over; the
    // last answer is kept until the text or a setting changes.
    struct CachedMeasure {
        qreal width = -1;
        QString text;
        QFont font;
        Measure measure;
    };
    mutable CachedMeasure m_cache;

    QColor m_color;
    qreal m_lineSpacing = 0;
    int m_maximumLineCount = 0;
    bool m_wraps = true;
};

} // namespace tovalit
