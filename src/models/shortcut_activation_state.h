#pragma once

#include <QString>

namespace tovalit {

// Whether the registered shortcut really works, with the text to show.
struct ShortcutActivationState {
    enum class Case { ready, degraded, failed };

    Case kind = Case::ready;
    QString message;

    static ShortcutActivationState ready(QString message) {
        return {Case::ready, std::move(message)};
    }
    static ShortcutActivationState degraded(QString message) {
        return {Case::degraded, std::move(message)};
    }
    static ShortcutActivationState failed(QString message) {
        return {Case::failed, std::move(message)};
    }

    bool isHealthy() const { return kind == Case::ready; }

    bool operator==(const ShortcutActivationState &) const = default;
};

} // namespace tovalit
