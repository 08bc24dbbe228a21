#include "app/main_window.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tovalit {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("main-window"));
    setWindowTitle(QStringLiteral("Tovalit"));
    setMinimumSize(minimumContentWidth, minimumContentHeight);

    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    auto *title = new QLabel(QStringLiteral("Tovalit"), content);
    title->setObjectName(QStringLiteral("product-title"));
    title->setAlignment(Qt::AlignCenter);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 2.0);
    font.setBold(true);
    title->setFont(font);
    layout->addStretch();
    layout->addWidget(title);
    layout->addStretch();
    setCentralWidget(content);
}

} // namespace tovalit
