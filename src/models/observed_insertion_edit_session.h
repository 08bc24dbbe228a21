#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace tovalit {

// One correction the user made to text we had just inserted: the field's
// whole text right after the insertion and once the user's edit had come to
// rest.
struct ObservedInsertionEditSession {
    // The watched insertion; a later revert of the same insertion carries it
    // too.
    QUuid sessionID;
    QString originalInsertedText;
    QString originalFieldText;
    QString finalFieldText;
    std::optional<QString> appName;
    std::optional<QString> windowTitle;

    bool operator==(const ObservedInsertionEditSession &) const = default;
};

} // namespace tovalit
