#pragma once

#include <QString>

namespace tovalit {

// Why the settings could not be saved, as the user reads it: the system's
// or the settings file's reason said in Chinese where it is one we can
// tell (a full disk, no permission, a read-only file system, another
// program writing the file), else the reason as it came.
QString settingsSaveProblem(const QString &error);

} // namespace tovalit
