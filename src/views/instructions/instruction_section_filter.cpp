#include "views/instructions/instruction_section_filter.h"

namespace tovalit {

QString label(InstructionSectionFilter filter) {
    switch (filter) {
    case InstructionSectionFilter::all:
        return QStringLiteral("全部");
    case InstructionSectionFilter::builtin:
        return QStringLiteral("内置");
    case InstructionSectionFilter::custom:
        return QStringLiteral("我的");
    }
    return {};
}

bool includes(InstructionSectionFilter filter, const InstructionLibraryEntry &entry) {
    switch (filter) {
    case InstructionSectionFilter::all:
        return true;
    case InstructionSectionFilter::builtin:
        return entry.source == InstructionLibraryEntrySource::builtin;
    case InstructionSectionFilter::custom:
        return entry.source == InstructionLibraryEntrySource::custom;
    }
    return false;
}

} // namespace tovalit
