#include "views/design/tovalit_window_accessor.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>

namespace tovalit {

TovalitWindowAccessor::TovalitWindowAccessor(std::function<void(QWidget *window)> onResolve,
                                             QWidget *parent)
    : QWidget(parent)
    , m_onResolve(std::move(onResolve)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(0, 0);
}

bool TovalitWindowAccessor::event(QEvent *event) {
    if (event->type() == QEvent::Show || event->type() == QEvent::ParentChange)
        scheduleResolve();
    return QWidget::event(event);
}

void TovalitWindowAccessor::scheduleResolve() {
    QTimer::singleShot(0, this, [self = QPointer(this)] {
        if (!self || !self->m_onResolve || !self->parentWidget())
            return;
        self->m_onResolve(self->window());
    });
}

} // namespace tovalit
