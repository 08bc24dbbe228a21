#pragma once

#include "views/lexicon/personal_lexicon_page_model.h"

namespace tovalit {

class TranscriberViewModel;

// The personal lexicon page's model over the application's view model: its
// published lexicon, its status line and its operations, unchanged.
class ViewModelPersonalLexiconPageModel final : public PersonalLexiconPageModel {
    Q_OBJECT
public:
    // `viewModel` must outlive this object.
    explicit ViewModelPersonalLexiconPageModel(TranscriberViewModel &viewModel);

    QList<PersonalLexiconEntry> personalLexiconEntries() const override;
    PersonalLexiconCloudState personalLexiconCloudState() const override;
    QString personalLexiconSummary() const override;
    QStringList setAsideLexiconCopies() const override;
    QCoro::Task<void> refreshPersonalLexicon() override;
    void saveManualLexiconEntry(std::optional<QUuid> id, PersonalLexiconEntryKind kind,
                                std::optional<QString> sourceText, QString targetText, bool enabled,
                                qint64 hitCount, std::optional<QDateTime> createdAt,
                                std::optional<QDateTime> lastAppliedAt) override;
    void toggleLexiconEntry(const PersonalLexiconEntry &entry) override;
    void deleteLexiconEntry(const PersonalLexiconEntry &entry) override;

private:
    TranscriberViewModel &m_viewModel;
};

} // namespace tovalit
