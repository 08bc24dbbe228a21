#pragma once

#include <initializer_list>

class QLayout;
class QVBoxLayout;
class QWidget;

namespace tovalit {

// Lays out a window page as every page is: a toolbar row with
// `toolbarItems` at its right end, above the page's body. The caller adds
// the body to the returned column, with a stretch so it takes the rest.
QVBoxLayout *makePageColumn(QWidget *page, std::initializer_list<QWidget *> toolbarItems);

// Empties a layout that lists rows or cards about to be built anew. The
// widgets are deleted later, not at once: the click that asked for the
// rebuild may still be on its way out of one of them. They leave their
// parent at once, so lookups among its children find only the new ones.
void clearLayoutLater(QLayout *layout);

} // namespace tovalit
