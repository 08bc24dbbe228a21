#pragma once

#include "tests/support/run_task.h"
#include "views/design/tovalit_window_background.h"

#include <QDir>
#include <QImage>
#include <QStackedLayout>
#include <QWidget>

namespace tovalit::testing {

// Draws a page as the main window shows it: over the window's backdrop, at
// `size`. When TOVALIT_PAGE_SNAPSHOTS names a folder, the picture is also
// written there as <name>.png for people to look at.
inline QImage pageSnapshot(QWidget *page, const QSize &size, const QString &name) {
    QWidget host;
    auto *stack = new QStackedLayout(&host);
    stack->setStackingMode(QStackedLayout::StackAll);
    stack->addWidget(page);
    stack->addWidget(new TovalitWindowBackground);
    stack->setCurrentWidget(page);
    host.resize(size);
    host.show();
    pumpEvents(30);
    const QImage image = host.grab().toImage();
    const QString folder = qEnvironmentVariable("TOVALIT_PAGE_SNAPSHOTS");
    if (!folder.isEmpty() && QDir().mkpath(folder))
        image.save(folder + u'/' + name + QStringLiteral(".png"));
    // The page belongs to the caller.
    stack->removeWidget(page);
    page->setParent(nullptr);
    return image;
}

// The same for a sheet, which draws its own backdrop.
inline QImage sheetSnapshot(QWidget *sheet, const QString &name) {
    pumpEvents(30);
    const QImage image = sheet->grab().toImage();
    const QString folder = qEnvironmentVariable("TOVALIT_PAGE_SNAPSHOTS");
    if (!folder.isEmpty() && QDir().mkpath(folder))
        image.save(folder + u'/' + name + QStringLiteral(".png"));
    return image;
}

} // namespace tovalit::testing
