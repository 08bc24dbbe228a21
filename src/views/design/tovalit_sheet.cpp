#include "views/design/tovalit_sheet.h"

#include "views/design/tovalit_window_background.h"

#include <QCloseEvent>

namespace tovalit {

TovalitSheet::TovalitSheet(const QSize &size, QWidget *parent)
    : QDialog(parent)
    , m_background(new TovalitWindowBackground(this)) {
    setWindowModality(Qt::WindowModal);
    setFixedSize(size);
    m_background->lower();
    m_background->setGeometry(rect());
}

void TovalitSheet::dismiss() {
    done(QDialog::Rejected);
    deleteLater();
}

void TovalitSheet::reject() {
    Q_EMIT cancelRequested();
}

void TovalitSheet::closeEvent(QCloseEvent *event) {
    // Closing is the owner's decision, made in its answer to the request.
    event->ignore();
    Q_EMIT cancelRequested();
}

void TovalitSheet::resizeEvent(QResizeEvent *event) {
    QDialog::resizeEvent(event);
    m_background->setGeometry(rect());
}

} // namespace tovalit
