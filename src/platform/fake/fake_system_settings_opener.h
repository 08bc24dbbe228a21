#pragma once

#include "platform/system_settings_opener.h"

#include <QList>

#include <mutex>

namespace tovalit {

// Records the pages it was asked to open.
class FakeSystemSettingsOpener final : public SystemSettingsOpener {
public:
    QList<QUrl> opened() const {
        std::lock_guard lock(m_mutex);
        return m_opened;
    }
    bool open(const QUrl &deepLink) override {
        std::lock_guard lock(m_mutex);
        m_opened.append(deepLink);
        return true;
    }

private:
    mutable std::mutex m_mutex;
    QList<QUrl> m_opened;
};

} // namespace tovalit
