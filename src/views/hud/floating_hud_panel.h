#pragma once

#include <QRectF>
#include <QWidget>

class QVariantAnimation;

namespace tovalit {

class FloatingHUDContainerView;
class FloatingHUDModel;

// The one floating heads-up window: frameless, above other windows, never
// taking the keyboard focus or activating the application, placed exactly
// where the coordinator says (the window manager does not move it), and
// shaped to its drawn surfaces so the pointer passes through the rest.
//
// Its frame is the one last set, kept in fractional pixels so that equal
// frames compare equal; "ordered in" is whether the coordinator shows it.
// A panel with nothing drawn (a blank toast) stays ordered in but maps no
// window, since an X window cannot be shaped to nothing.
class FloatingHUDPanel : public QWidget {
    Q_OBJECT
public:
    explicit FloatingHUDPanel(FloatingHUDModel *model);

    // Whether the panel may take the keyboard focus (while a toast offers
    // an action). X11 gives the pointer to the toast's button without it,
    // so the window itself still never takes the focus.
    bool allowsKeyFocus() const { return m_allowsKeyFocus; }
    void setAllowsKeyFocus(bool allows) { m_allowsKeyFocus = allows; }
    bool canBecomeKey() const { return m_allowsKeyFocus; }
    bool canBecomeMain() const { return false; }

    QRectF frame() const { return m_frame; }
    // Moves and sizes the panel, gliding there when `animate` and it shows.
    void setFrame(const QRectF &frame, bool animate);
    // Shows the panel over other windows without activating anything.
    void orderFrontRegardless();
    void orderOut();
    bool isOrderedIn() const { return m_orderedIn; }

    FloatingHUDContainerView *containerView() const { return m_container; }

Q_SIGNALS:
    // Every window call that places the panel: a frame change or an order
    // to the front.
    void placed(QRectF frame, bool animated);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyGeometry(const QRect &geometry);
    void refreshShape();
    void refreshGlass();

    FloatingHUDContainerView *m_container;
    QVariantAnimation *m_glide;
    QRectF m_frame;
    bool m_allowsKeyFocus = false;
    bool m_orderedIn = false;
    bool m_refreshingShape = false;
    bool m_shapeOutdated = false;
};

} // namespace tovalit
