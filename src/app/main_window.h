#pragma once

#include <QMainWindow>

namespace tovalit {

// The application's one main window. Its pages are added as they arrive;
// its identity (object name, title, minimum size) is what the shell and the
// status-bar menu find it by.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    static constexpr int minimumContentWidth = 980;
    static constexpr int minimumContentHeight = 680;
};

} // namespace tovalit
