#pragma once

#include "models/instruction_library_entry.h"

#include <QString>

#include <array>

namespace tovalit {

// The scopes of the instruction library page's segmented control.
enum class InstructionSectionFilter { all, builtin, custom };

inline constexpr std::array allInstructionSectionFilters{InstructionSectionFilter::all,
                                                         InstructionSectionFilter::builtin,
                                                         InstructionSectionFilter::custom};

// "全部", "内置", "我的": the segment's label.
QString label(InstructionSectionFilter filter);
bool includes(InstructionSectionFilter filter, const InstructionLibraryEntry &entry);

} // namespace tovalit
