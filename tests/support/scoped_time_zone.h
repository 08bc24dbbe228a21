#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <ctime>

namespace tovalit::testing {

// Sets the process time zone (TZ) for the life of the object, so local-time
// texts can be checked byte for byte; the previous zone is put back after.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char *zone)
        : m_previous(qgetenv("TZ"))
        , m_hadPrevious(qEnvironmentVariableIsSet("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~ScopedTimeZone() {
        if (m_hadPrevious)
            qputenv("TZ", m_previous);
        else
            qunsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone &) = delete;
    ScopedTimeZone &operator=(const ScopedTimeZone &) = delete;

private:
    QByteArray m_previous;
    bool m_hadPrevious;
};

} // namespace tovalit::testing
