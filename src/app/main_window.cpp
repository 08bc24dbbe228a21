#include "app/main_window.h"

#include "views/design/configure_primary_window.h"
#include "views/design/tovalit_window_accessor.h"
#include "views/design/tovalit_window_background.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace tovalit {

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent)
    , m_background(new TovalitWindowBackground(this)) {
    setObjectName(QStringLiteral("main-window"));
    setWindowTitle(QStringLiteral("Tovalit"));
    setMinimumSize(minimumContentWidth, minimumContentHeight);
    // Roomy where the screen allows, centred, never below the minimum.
    QSize size(1080, 760);
    QRect available(QPoint(0, 0), size);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        available = screen->availableGeometry();
        size = size.boundedTo(available.size() - QSize(48, 72));
    }
    resize(size.expandedTo(minimumSize()));
    move(available.center() - QPoint(width() / 2, height() / 2));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *accessor =
        new TovalitWindowAccessor([](QWidget *window) { configurePrimaryWindow(window); }, this);
    accessor->setFixedSize(0, 0);
    m_background->lower();
}

void MainWindow::setContent(QWidget *content) {
    if (m_content) {
        layout()->removeWidget(m_content);
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = content;
    if (!content)
        return;
    content->setParent(this);
    layout()->addWidget(content);
    content->show();
}

void MainWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    m_background->setGeometry(rect());
    m_background->lower();
}

} // namespace tovalit
