#include "views/lexicon/view_model_personal_lexicon_page_model.h"

#include "state/transcriber_view_model.h"

namespace tovalit {

ViewModelPersonalLexiconPageModel::ViewModelPersonalLexiconPageModel(
    TranscriberViewModel &viewModel)
    : m_viewModel(viewModel) {
    // The summary is read from both, so either change redraws it.
    connect(&viewModel, &TranscriberViewModel::personalLexiconEntriesChanged, this,
            &PersonalLexiconPageModel::personalLexiconChanged);
    connect(&viewModel, &TranscriberViewModel::personalLexiconCloudStateChanged, this,
            &PersonalLexiconPageModel::personalLexiconChanged);
    connect(&viewModel, &TranscriberViewModel::setAsideLexiconCopiesChanged, this,
            &PersonalLexiconPageModel::personalLexiconChanged);
}

QList<PersonalLexiconEntry> ViewModelPersonalLexiconPageModel::personalLexiconEntries() const {
    return m_viewModel.personalLexiconEntries();
}

PersonalLexiconCloudState ViewModelPersonalLexiconPageModel::personalLexiconCloudState() const {
    return m_viewModel.personalLexiconCloudState();
}

QString ViewModelPersonalLexiconPageModel::personalLexiconSummary() const {
    return m_viewModel.personalLexiconSummary();
}

QStringList ViewModelPersonalLexiconPageModel::setAsideLexiconCopies() const {
    return m_viewModel.setAsideLexiconCopies();
}

QCoro::Task<void> ViewModelPersonalLexiconPageModel::refreshPersonalLexicon() {
    // Not a coroutine of its own: the refresh belongs to the view model and
    // outlives this object and the page.
    return m_viewModel.refreshPersonalLexicon();
}

void ViewModelPersonalLexiconPageModel::saveManualLexiconEntry(
    std::optional<QUuid> id, PersonalLexiconEntryKind kind, std::optional<QString> sourceText,
    QString targetText, bool enabled, qint64 hitCount, std::optional<QDateTime> createdAt,
    std::optional<QDateTime> lastAppliedAt) {
    m_viewModel.saveManualLexiconEntry(std::move(id), kind, std::move(sourceText),
                                       std::move(targetText), enabled, hitCount,
                                       std::move(createdAt), std::move(lastAppliedAt));
}

void ViewModelPersonalLexiconPageModel::toggleLexiconEntry(const PersonalLexiconEntry &entry) {
    m_viewModel.toggleLexiconEntry(entry);
}

void ViewModelPersonalLexiconPageModel::deleteLexiconEntry(const PersonalLexiconEntry &entry) {
    m_viewModel.deleteLexiconEntry(entry);
}

} // namespace tovalit
