#include "app/legacy_menu_bar_controller.h"

#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace tovalit {

namespace {

const QString productName = QStringLiteral("Tovalit");

// A status icon is a single-colour symbol, as the desktop's other tray
// icons are. Trays come light and dark; the brand's strong teal reads on
// both.
QIcon statusIcon(const QString &symbolName) {
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(TovalitSymbol::pixmap(symbolName, side, TovalitPalette::brandStrong(), 1.0));
    return icon;
}

} // namespace

LegacyMenuBarController &LegacyMenuBarController::shared() {
    static LegacyMenuBarController *instance = new LegacyMenuBarController;
    return *instance;
}

LegacyMenuBarController::LegacyMenuBarController(QObject *parent)
    : QObject(parent) {}

LegacyMenuBarController::~LegacyMenuBarController() = default;

void LegacyMenuBarController::startIfNeeded() {
    if (m_statusItem)
        return;
    m_statusItem = std::make_unique<QSystemTrayIcon>();
    m_statusItem->setToolTip(productName);
    setStatusSymbol(QString::fromLatin1(idleSymbol));

    m_menu = std::make_unique<QMenu>();
    m_menu->setTitle(productName);
    m_openMainWindowItem = m_menu->addAction(QStringLiteral("打开 Tovalit"), this,
                                             &LegacyMenuBarController::handleOpenMainWindow);
    m_toggleRecordingItem = m_menu->addAction(QStringLiteral("开始录音"), this,
                                              &LegacyMenuBarController::handleToggleRecording);
    m_menu->addSeparator();
    QAction *quit =
        m_menu->addAction(QStringLiteral("退出"), this, &LegacyMenuBarController::handleQuit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    m_statusItem->setContextMenu(m_menu.get());
    m_statusItem->show();
}

void LegacyMenuBarController::removeStatusItem() {
    if (!m_statusItem)
        return;
    m_statusItem->hide();
    m_statusItem.reset();
    m_toggleRecordingItem.clear();
    m_openMainWindowItem.clear();
    m_menu.reset();
    m_statusSymbolName.clear();
}

void LegacyMenuBarController::update(const RecordingState &recordingState, bool canToggle) {
    if (!m_statusItem)
        return;
    QString symbol = QString::fromLatin1(idleSymbol);
    QString title = QStringLiteral("开始录音");
    bool isProcessing = false;
    switch (recordingState.kind()) {
    case RecordingState::Case::recording:
        symbol = QString::fromLatin1(recordingSymbol);
        title = QStringLiteral("停止录音");
        break;
    case RecordingState::Case::thinking:
    case RecordingState::Case::inserting:
        symbol = QString::fromLatin1(processingSymbol);
        title = QStringLiteral("处理中…");
        isProcessing = true;
        break;
    case RecordingState::Case::idle:
    case RecordingState::Case::requestingPermission:
    case RecordingState::Case::failed:
        break;
    }
    setStatusSymbol(symbol);
    if (!m_toggleRecordingItem)
        return;
    m_toggleRecordingItem->setText(title);
    m_toggleRecordingItem->setEnabled(canToggle && !isProcessing);
}

void LegacyMenuBarController::handleOpenMainWindow() {
    if (onOpenMainWindow)
        onOpenMainWindow();
}

void LegacyMenuBarController::handleToggleRecording() {
    // The answer of the moment decides, whatever the item's enabled flag
    // said when the menu opened.
    if (canToggleRecording && !canToggleRecording())
        return;
    if (onToggleRecording)
        onToggleRecording();
}

void LegacyMenuBarController::handleQuit() {
    if (onQuit) {
        onQuit();
        return;
    }
    // exit() rather than quit(): quit() first closes every window and gives
    // up when one refuses, and an open editor sheet refuses its close.
    QCoreApplication::exit(0);
}

void LegacyMenuBarController::setStatusSymbol(const QString &name) {
    if (name == m_statusSymbolName)
        return;
    m_statusSymbolName = name;
    m_statusItem->setIcon(statusIcon(name));
}

} // namespace tovalit
