#include "models/personal_lexicon_enums.h"

#include <utility>

namespace tovalit {

namespace {

template <typename Enum, size_t Count>
using RawValueTable = std::array<std::pair<Enum, const char16_t *>, Count>;

constexpr RawValueTable<PersonalLexiconEntryKind, 2> entryKinds{{
    {PersonalLexiconEntryKind::hotword, u"hotword"},
    {PersonalLexiconEntryKind::replacement, u"replacement"},
}};

constexpr RawValueTable<PersonalLexiconChannel, 2> channels{{
    {PersonalLexiconChannel::boost, u"boost"},
    {PersonalLexiconChannel::replace, u"replace"},
}};

constexpr RawValueTable<PersonalLexiconSharingScope, 3> sharingScopes{{
    {PersonalLexiconSharingScope::userPrivate, u"userPrivate"},
    {PersonalLexiconSharingScope::sharedGlossaryCandidate, u"sharedGlossaryCandidate"},
    {PersonalLexiconSharingScope::sharedGlossaryPublished, u"sharedGlossaryPublished"},
}};

constexpr RawValueTable<PersonalLexiconEntrySource, 4> entrySources{{
    {PersonalLexiconEntrySource::historyFrequency, u"historyFrequency"},
    {PersonalLexiconEntrySource::insertionCorrection, u"insertionCorrection"},
    {PersonalLexiconEntrySource::manual, u"manual"},
    {PersonalLexiconEntrySource::replacementPromotion, u"replacementPromotion"},
}};

constexpr RawValueTable<PersonalLexiconCloudSyncStatus, 4> syncStatuses{{
    {PersonalLexiconCloudSyncStatus::pending, u"pending"},
    {PersonalLexiconCloudSyncStatus::synced, u"synced"},
    {PersonalLexiconCloudSyncStatus::localOnly, u"localOnly"},
    {PersonalLexiconCloudSyncStatus::failed, u"failed"},
}};

template <typename Enum, size_t Count>
QString lookUp(const RawValueTable<Enum, Count> &table, Enum value) {
    for (const auto &[candidate, raw] : table) {
        if (candidate == value)
            return QString::fromUtf16(raw);
    }
    return {};
}

template <typename Enum, size_t Count>
bool parse(const RawValueTable<Enum, Count> &table, QStringView rawValue, Enum &value) {
    for (const auto &[candidate, raw] : table) {
        if (rawValue == QStringView(raw)) {
            value = candidate;
            return true;
        }
    }
    return false;
}

} // namespace

QString rawValue(PersonalLexiconEntryKind value) {
    return lookUp(entryKinds, value);
}

QString rawValue(PersonalLexiconChannel value) {
    return lookUp(channels, value);
}

QString rawValue(PersonalLexiconSharingScope value) {
    return lookUp(sharingScopes, value);
}

QString rawValue(PersonalLexiconEntrySource value) {
    return lookUp(entrySources, value);
}

QString rawValue(PersonalLexiconCloudSyncStatus value) {
    return lookUp(syncStatuses, value);
}

bool fromRawValue(QStringView rawValue, PersonalLexiconEntryKind &value) {
    return parse(entryKinds, rawValue, value);
}

bool fromRawValue(QStringView rawValue, PersonalLexiconChannel &value) {
    return parse(channels, rawValue, value);
}

bool fromRawValue(QStringView rawValue, PersonalLexiconSharingScope &value) {
    return parse(sharingScopes, rawValue, value);
}

bool fromRawValue(QStringView rawValue, PersonalLexiconEntrySource &value) {
    return parse(entrySources, rawValue, value);
}

bool fromRawValue(QStringView rawValue, PersonalLexiconCloudSyncStatus &value) {
    return parse(syncStatuses, rawValue, value);
}

QString displayName(PersonalLexiconCloudSyncStatus status) {
    switch (status) {
    case PersonalLexiconCloudSyncStatus::pending:
        return QStringLiteral("待同步");
    case PersonalLexiconCloudSyncStatus::synced:
        return QStringLiteral("已同步");
    case PersonalLexiconCloudSyncStatus::localOnly:
        return QStringLiteral("仅本地");
    case PersonalLexiconCloudSyncStatus::failed:
        return QStringLiteral("同步失败");
    }
    return {};
}

} // namespace tovalit
