#pragma once

#include <QUrl>

namespace tovalit {

// Opens a page of the system settings, named by its deep link
// ("x-apple.systempreferences:…"). Fire and forget: whether something
// opened is only for the diagnostics.
class SystemSettingsOpener {
public:
    virtual ~SystemSettingsOpener() = default;

    virtual bool open(const QUrl &deepLink) = 0;
};

} // namespace tovalit
