#pragma once

class QWidget;

namespace tovalit {

// Styles the main window: the one whose object name is "main-window" or
// whose title is the product name. Light appearance whatever the desktop's
// theme, no toolbar separator, movable by dragging its background. Any
// other window is left alone. Safe to call again on the same window.
void configurePrimaryWindow(QWidget *window);

// Whether configurePrimaryWindow() treats `window` as the main window.
bool isPrimaryWindow(const QWidget *window);

} // namespace tovalit
