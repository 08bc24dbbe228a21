#pragma once

#include <QString>
#include <QStringList>

namespace tovalit::testing {

// Runs xdotool against the test session's X server and gives its output,
// trimmed; nothing when it does not finish within five seconds. A run cut
// short by a window that vanished under it is repeated.
QString xdotool(const QStringList &arguments);

} // namespace tovalit::testing
