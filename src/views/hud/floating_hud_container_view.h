#pragma once

#include <QRegion>
#include <QWidget>

class QVBoxLayout;

namespace tovalit {

class FloatingHUDModel;
class FloatingHUDToastView;
class RecordingHUDView;
class ThinkingHUDView;

// The floating panel's root view: the content of the model's mode at the
// bottom of the panel, the toast band above it. Every action goes to the
// callback the model holds at the moment of the event.
class FloatingHUDContainerView : public QWidget {
    Q_OBJECT
public:
    explicit FloatingHUDContainerView(FloatingHUDModel *model, QWidget *parent = nullptr);

    // What the panel draws, in this view's coordinates; the rest of it is
    // transparent and lets the pointer through.
    QRegion surfaceRegion();

    FloatingHUDToastView *toastView() const { return m_toast; }
    // The view of the current mode; null for a toast alone.
    QWidget *contentView() const { return m_content; }
    RecordingHUDView *recordingView() const;
    ThinkingHUDView *thinkingView() const;

    // Gives the surfaces their shadows where the panel has room for them:
    // the toast always, the capsule and the status panel while a toast
    // widens the panel around them; none where the desktop cannot show
    // them (without a compositor they would come out black).
    void refreshShadows();

Q_SIGNALS:
    // The drawn surfaces may have changed place or shape.
    void surfacesChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void syncMode();
    void syncLevels();
    void syncToast();
    void replaceContent(QWidget *content, bool fills);
    void watch(QWidget *widget);
    bool eventFilter(QObject *watched, QEvent *event) override;

    FloatingHUDModel *m_model;
    QVBoxLayout *m_column;
    FloatingHUDToastView *m_toast;
    QWidget *m_content = nullptr;
};

} // namespace tovalit
