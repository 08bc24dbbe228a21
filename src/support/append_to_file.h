#pragma once

#include <QByteArray>
#include <QString>

namespace tovalit {

// Appends `bytes` to the file at `path` through one O_APPEND descriptor,
// creating the file with `permissions` when it is missing, so writers in
// other threads or processes never land inside each other's lines. False
// when the file cannot be opened, written or closed (a full disk may only
// show at the close).
bool appendToFile(const QString &path, const QByteArray &bytes, int permissions);

} // namespace tovalit
