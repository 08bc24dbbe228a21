#pragma once

#include <QString>
#include <QStringView>

#include <array>

// The enumerations of an instruction library entry. Each is stored in
// "instruction-library.json" as its raw value, the case name spelt exactly;
// a text outside the list does not convert.
namespace tovalit {

// The grouping the library page shows.
enum class InstructionLibraryCategory { writing, rewrite, planning, prompt };

// Whether an entry ships with the application or is the user's own.
enum class InstructionLibraryEntrySource { builtin, custom };

inline constexpr std::array allInstructionLibraryCategories{
    InstructionLibraryCategory::writing, InstructionLibraryCategory::rewrite,
    InstructionLibraryCategory::planning, InstructionLibraryCategory::prompt};
inline constexpr std::array allInstructionLibraryEntrySources{
    InstructionLibraryEntrySource::builtin, InstructionLibraryEntrySource::custom};

QString rawValue(InstructionLibraryCategory value);
QString rawValue(InstructionLibraryEntrySource value);

// Sets `value` and returns true when `rawValue` names one of the cases
// exactly (no trimming, no case folding); leaves it alone otherwise.
bool fromRawValue(QStringView rawValue, InstructionLibraryCategory &value);
bool fromRawValue(QStringView rawValue, InstructionLibraryEntrySource &value);

// What the management views show ("写作", "内置指令" …).
QString displayName(InstructionLibraryCategory value);
QString displayName(InstructionLibraryEntrySource value);

} // namespace tovalit
