#pragma once

#include "views/design/tovalit_glass_surface.h"

#include <QAbstractButton>

#include <functional>
#include <optional>

namespace tovalit {

class TovalitSymbolView;
class TovalitTextLabel;

// The capsule button of a toast ("撤销", "复制").
class ToastActionButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToastActionButton(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The one-row notice of the floating panel: icon, message of at most five
// lines and, when the caller offered one, an action button.
class FloatingHUDToastView : public TovalitGlassSurface {
    Q_OBJECT
public:
    explicit FloatingHUDToastView(QWidget *parent = nullptr);

    // The button shows only when both a title and an action are given.
    void setContent(const QString &message, bool isError, std::optional<QString> actionTitle,
                    std::function<void()> onAction);

    QString message() const;
    bool isError() const { return m_isError; }
    TovalitSymbolView *icon() const { return m_icon; }
    TovalitTextLabel *messageLabel() const { return m_message; }
    ToastActionButton *actionButton() const { return m_button; }

private:
    bool m_isError = false;
    std::function<void()> m_onAction;
    TovalitSymbolView *m_icon;
    TovalitTextLabel *m_message;
    ToastActionButton *m_button;
};

} // namespace tovalit
