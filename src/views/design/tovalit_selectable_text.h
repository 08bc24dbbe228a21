#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

#include <memory>

class QTextLayout;

namespace tovalit {

// Plain text the user can select and copy (mouse, double-click for a word,
// Ctrl+A, Ctrl+C, context menu), wrapped like TovalitTextLabel: at word
// boundaries or between any two Chinese characters, with optional extra
// line spacing and an optional line limit whose last line ends in "…".
// What is cut off by the limit cannot be selected: selection works on the
// text as drawn.
class TovalitSelectableText : public QWidget {
    Q_OBJECT
public:
    TovalitSelectableText(const QString &text, const QFont &font, const QColor &color,
                          QWidget *parent = nullptr);
    ~TovalitSelectableText() override;

    const QString &text() const { return m_text; }
    void setText(const QString &text);
    const QColor &color() const { return m_color; }
    void setColor(const QColor &color);
    // Extra space between lines, in pixels.
    void setLineSpacing(qreal spacing);
    // 0: no limit.
    void setMaximumLineCount(int count);
    int maximumLineCount() const { return m_maximumLineCount; }

    // The text as drawn at `width`: the whole text, or the part that fits
    // the line limit ended with "…".
    QString shownText(int width) const;
    int lineCountForWidth(int width) const;

    QString selectedText() const;
    void selectAll();
    void clearSelection();

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Laidout {
        qreal width = -1;
        QString shown;
        std::shared_ptr<QTextLayout> layout;
        int lines = 0;
        qreal height = 0;
    };
    // Layouts ask for the same width many times over; the last layout is
    // kept until the text, the font or a setting changes.
    const Laidout &laidoutFor(qreal width) const;
    void invalidate();
    int cursorAt(const QPointF &point) const;
    void copySelection() const;

    QString m_text;
    QColor m_color;
    qreal m_lineSpacing = 0;
    int m_maximumLineCount = 0;
    mutable Laidout m_cache;
    // Selection bounds in the shown text; equal when nothing is selected.
    int m_anchor = 0;
    int m_position = 0;
};

} // namespace tovalit
