#pragma once

#include <QString>
#include <QStringView>

#include <array>

// The enumerations of a lexicon entry. Each is stored in
// "personal-lexicon.json" and the audit trail as its raw value, which is the
// case name spelt exactly; a text outside the list does not convert.
namespace tovalit {

enum class PersonalLexiconEntryKind { hotword, replacement };

// How an entry acts on recognition: sent to the recogniser as a hot word, or
// applied as a source-to-target rewrite.
enum class PersonalLexiconChannel { boost, replace };

enum class PersonalLexiconSharingScope {
    userPrivate,
    sharedGlossaryCandidate,
    sharedGlossaryPublished
};

// How an entry came about.
enum class PersonalLexiconEntrySource {
    historyFrequency,
    insertionCorrection,
    manual,
    // The hidden boost entry that accompanies a learned replacement.
    replacementPromotion
};

enum class PersonalLexiconCloudSyncStatus { pending, synced, localOnly, failed };

inline constexpr std::array allPersonalLexiconEntryKinds{PersonalLexiconEntryKind::hotword,
                                                         PersonalLexiconEntryKind::replacement};
inline constexpr std::array allPersonalLexiconChannels{PersonalLexiconChannel::boost,
                                                       PersonalLexiconChannel::replace};
inline constexpr std::array allPersonalLexiconSharingScopes{
    PersonalLexiconSharingScope::userPrivate, PersonalLexiconSharingScope::sharedGlossaryCandidate,
    PersonalLexiconSharingScope::sharedGlossaryPublished};
inline constexpr std::array allPersonalLexiconEntrySources{
    PersonalLexiconEntrySource::historyFrequency, PersonalLexiconEntrySource::insertionCorrection,
    PersonalLexiconEntrySource::manual, PersonalLexiconEntrySource::replacementPromotion};

QString rawValue(PersonalLexiconEntryKind value);
QString rawValue(PersonalLexiconChannel value);
QString rawValue(PersonalLexiconSharingScope value);
QString rawValue(PersonalLexiconEntrySource value);
QString rawValue(PersonalLexiconCloudSyncStatus value);

// Sets `value` and returns true when `rawValue` names one of the cases;
// leaves it alone and returns false otherwise.
bool fromRawValue(QStringView rawValue, PersonalLexiconEntryKind &value);
bool fromRawValue(QStringView rawValue, PersonalLexiconChannel &value);
bool fromRawValue(QStringView rawValue, PersonalLexiconSharingScope &value);
bool fromRawValue(QStringView rawValue, PersonalLexiconEntrySource &value);
bool fromRawValue(QStringView rawValue, PersonalLexiconCloudSyncStatus &value);

// The status label the lexicon page shows ("待同步", "已同步" …).
QString displayName(PersonalLexiconCloudSyncStatus status);

} // namespace tovalit
