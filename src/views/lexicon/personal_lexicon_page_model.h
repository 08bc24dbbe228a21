#pragma once

#include "models/personal_lexicon_cloud_state.h"
#include "models/personal_lexicon_entry.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <optional>

namespace tovalit {

// What the personal lexicon page reads and calls: the view model's
// published lexicon, its status line and its lexicon operations, behind
// one narrow interface so that the page can be driven without a whole
// controller. The editing operations return at once; their outcome comes
// back through the published entries.
class PersonalLexiconPageModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The whole lexicon, system-managed entries included.
    virtual QList<PersonalLexiconEntry> personalLexiconEntries() const = 0;
    virtual PersonalLexiconCloudState personalLexiconCloudState() const = 0;
    // The status line: the last sync error, or how the entries are synced.
    virtual QString personalLexiconSummary() const = 0;
    // Full paths of the copies of a lexicon file that could not be read,
    // set aside beside it, while they are there.
    virtual QStringList setAsideLexiconCopies() const { return {}; }

    // Reloads the lexicon (which synchronises it) and learns from the
    // history again.
    virtual QCoro::Task<void> refreshPersonalLexicon() = 0;
    virtual void saveManualLexiconEntry(std::optional<QUuid> id, PersonalLexiconEntryKind kind,
                                        std::optional<QString> sourceText, QString targetText,
                                        bool enabled, qint64 hitCount,
                                        std::optional<QDateTime> createdAt,
                                        std::optional<QDateTime> lastAppliedAt) = 0;
    virtual void toggleLexiconEntry(const PersonalLexiconEntry &entry) = 0;
    virtual void deleteLexiconEntry(const PersonalLexiconEntry &entry) = 0;

Q_SIGNALS:
    // The entries, the cloud state, what the summary reads or the
    // set-aside copies changed.
    void personalLexiconChanged();
};

} // namespace tovalit
