#pragma once

#include <QWidget>

#include <array>

namespace tovalit {

// The materials a window backdrop can take.
enum class TovalitVisualEffectMaterial { underWindowBackground };

// The backdrop material of a window. X11 desktops offer no blur of what is
// behind a window, so the material is its light, opaque colour.
class TovalitVisualEffectBackground : public QWidget {
    Q_OBJECT
public:
    explicit TovalitVisualEffectBackground(TovalitVisualEffectMaterial material,
                                           QWidget *parent = nullptr);

    TovalitVisualEffectMaterial material() const { return m_material; }
    void setMaterial(TovalitVisualEffectMaterial material);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TovalitVisualEffectMaterial m_material;
};

// The main window's backdrop: the material, a pale diagonal gradient and
// three large blurred colour glows, placed from the window's centre.
class TovalitWindowBackground : public QWidget {
    Q_OBJECT
public:
    explicit TovalitWindowBackground(QWidget *parent = nullptr);

    struct Glow {
        QColor color;
        qreal diameter;
        qreal blurRadius;
        QPointF offset;
    };
    static const std::array<Glow, 3> &glows();

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace tovalit
