#pragma once

#include <QAccessible>
#include <QList>
#include <QMetaObject>
#include <QWidget>

#include <functional>

namespace tovalit {

// Has a screen reader find every widget of the class `panel` as one element
// of `role`, named with the widget's accessible name: the labels inside it
// say the same and would have it read twice, its icons nothing at all, so
// everything inside says nothing, also in the events sent for it. The
// children `kept` gives (a button to press) stay, while shown, and speak
// for themselves. Called again for the same class, the first call holds;
// call it before the panel's children are made, whose first events would
// otherwise fix what they say.
void presentPanelAsOneElement(const QMetaObject &panel, QAccessible::Role role,
                              std::function<QList<QWidget *>(QWidget *)> kept = {});

} // namespace tovalit
