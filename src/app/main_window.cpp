#include "app/main_window.h"

#include "views/design/configure_primary_window.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_window_accessor.h"
#include "views/design/tovalit_window_background.h"

#include <QBoxLayout>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

namespace tovalit {

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent)
    , m_background(new TovalitWindowBackground(this))
    , m_statusMenuStrip(new QWidget(this))
    , m_statusMenuButton(new TovalitMenuButton(m_statusMenuStrip)) {
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

    // The strip keeps the button clear of a page that scrolls under it,
    // at the top right where desktops put an application's menu.
    m_statusMenuStrip->setObjectName(QStringLiteral("statusMenuStrip"));
    auto *strip = new QHBoxLayout(m_statusMenuStrip);
    strip->setContentsMargins(16, 10, 16, 0);
    strip->addStretch(1);
    strip->addWidget(m_statusMenuButton);
    layout->addWidget(m_statusMenuStrip);
    m_statusMenuButton->setObjectName(QStringLiteral("statusMenuButton"));
    placeStatusMenuButton();
}

void MainWindow::setContent(QWidget *content, QWidget *statusMenuPlace) {
    // The button lives in the strip while the content that may hold it
    // goes.
    m_statusMenuPlace = nullptr;
    placeStatusMenuButton();
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
    m_statusMenuPlace = statusMenuPlace;
    placeStatusMenuButton();
}

void MainWindow::setStatusMenuItems(const QList<QAction *> &items) {
    QMenu *menu = m_statusMenuButton->itemMenu();
    menu->clear();
    menu->addActions(items);
    placeStatusMenuButton();
}

TovalitMenuButton *MainWindow::statusMenuButton() const {
    return m_statusMenuButton->itemMenu()->isEmpty() ? nullptr : m_statusMenuButton;
}

void MainWindow::placeStatusMenuButton() {
    QWidget *place = m_statusMenuPlace ? m_statusMenuPlace.get() : m_statusMenuStrip;
    if (m_statusMenuButton->parentWidget() != place) {
        if (auto *box = qobject_cast<QBoxLayout *>(place->layout()))
            box->addWidget(m_statusMenuButton);
    }
    const bool offered = !m_statusMenuButton->itemMenu()->isEmpty();
    m_statusMenuButton->setVisible(offered);
    m_statusMenuStrip->setVisible(offered && !m_statusMenuPlace);
}

void MainWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    m_background->setGeometry(rect());
    m_background->lower();
}

} // namespace tovalit
