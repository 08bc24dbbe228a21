#pragma once

#include "views/lexicon/personal_lexicon_page_model.h"

namespace tovalit::testing {

// Publishes what the test gives it and writes down every call.
class FakePersonalLexiconPageModel final : public PersonalLexiconPageModel {
public:
    struct Save {
        std::optional<QUuid> id;
        PersonalLexiconEntryKind kind;
        std::optional<QString> sourceText;
        QString targetText;
        bool enabled;
        qint64 hitCount;
        std::optional<QDateTime> createdAt;
        std::optional<QDateTime> lastAppliedAt;
    };

    void publish(QList<PersonalLexiconEntry> entries, PersonalLexiconCloudState cloudState = {},
                 QString summary = QStringLiteral("我的词条会通过 Tovalit Gateway 自动同步。")) {
        m_entries = std::move(entries);
        m_cloudState = std::move(cloudState);
        m_summary = std::move(summary);
        Q_EMIT personalLexiconChanged();
    }

    QList<PersonalLexiconEntry> personalLexiconEntries() const override { return m_entries; }
    PersonalLexiconCloudState personalLexiconCloudState() const override { return m_cloudState; }
    QString personalLexiconSummary() const override { return m_summary; }
    QStringList setAsideLexiconCopies() const override { return copies; }
    void publishCopies(QStringList paths) {
        copies = std::move(paths);
        Q_EMIT personalLexiconChanged();
    }
    QCoro::Task<void> refreshPersonalLexicon() override {
        ++refreshes;
        co_return;
    }
    void saveManualLexiconEntry(std::optional<QUuid> id, PersonalLexiconEntryKind kind,
                                std::optional<QString> sourceText, QString targetText, bool enabled,
                                qint64 hitCount, std::optional<QDateTime> createdAt,
                                std::optional<QDateTime> lastAppliedAt) override {
        saves.push_back(
            {id, kind, sourceText, targetText, enabled, hitCount, createdAt, lastAppliedAt});
    }
    void toggleLexiconEntry(const PersonalLexiconEntry &entry) override { toggled << entry.id(); }
    void deleteLexiconEntry(const PersonalLexiconEntry &entry) override { deleted << entry.id(); }

    int refreshes = 0;
    QStringList copies;
    std::vector<Save> saves;
    QList<QUuid> toggled;
    QList<QUuid> deleted;

private:
    QList<PersonalLexiconEntry> m_entries;
    PersonalLexiconCloudState m_cloudState;
    QString m_summary;
};

// A lexicon entry as the tests need it.
inline PersonalLexiconEntry
lexiconEntry(QString target, std::optional<QString> source = std::nullopt,
             PersonalLexiconEntrySource learningSource = PersonalLexiconEntrySource::manual,
             qint64 hitCount = 1, bool enabled = true,
             PersonalLexiconCloudSyncStatus status = PersonalLexiconCloudSyncStatus::synced,
             QDateTime updatedAt = QDateTime(QDate(2026, 3, 7), QTime(9, 5)),
             std::optional<QDateTime> lastAppliedAt = std::nullopt) {
    const PersonalLexiconEntryKind kind =
        source ? PersonalLexiconEntryKind::replacement : PersonalLexiconEntryKind::hotword;
    return PersonalLexiconEntry(QUuid::createUuid(), kind, std::nullopt, std::nullopt,
                                std::move(source), std::move(target), learningSource, hitCount,
                                enabled, status, updatedAt.addDays(-3), updatedAt, lastAppliedAt);
}

} // namespace tovalit::testing
