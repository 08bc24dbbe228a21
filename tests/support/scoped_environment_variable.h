#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace tovalit::testing {

// Sets (or, with nothing, unsets) one environment variable for the life of
// the object and restores what was there before.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const char *name, std::optional<QByteArray> value)
        : m_name(name)
        , m_previous(qgetenv(name))
        , m_hadPrevious(qEnvironmentVariableIsSet(name)) {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnvironmentVariable() {
        if (m_hadPrevious)
            qputenv(m_name, m_previous);
        else
            qunsetenv(m_name);
    }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable &) = delete;
    ScopedEnvironmentVariable &operator=(const ScopedEnvironmentVariable &) = delete;

private:
    const char *m_name;
    QByteArray m_previous;
    bool m_hadPrevious;
};

} // namespace tovalit::testing
