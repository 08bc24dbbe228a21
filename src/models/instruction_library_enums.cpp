#include "models/instruction_library_enums.h"

#include <utility>

namespace tovalit {

namespace {

struct Names {
    const char16_t *raw;
    const char16_t *display;
};

template <typename Enum, size_t Count>
using NameTable = std::array<std::pair<Enum, Names>, Count>;

constexpr NameTable<InstructionLibraryCategory, 4> categories{{
    {InstructionLibraryCategory::writing, {u"writing", u"写作"}},
    {InstructionLibraryCategory::rewrite, {u"rewrite", u"改写"}},
    {InstructionLibraryCategory::planning, {u"planning", u"整理"}},
    {InstructionLibraryCategory::prompt, {u"prompt", u"Prompt"}},
}};

constexpr NameTable<InstructionLibraryEntrySource, 2> sources{{
    {InstructionLibraryEntrySource::builtin, {u"builtin", u"内置指令"}},
    {InstructionLibraryEntrySource::custom, {u"custom", u"我的指令"}},
}};

template <typename Enum, size_t Count>
const Names *namesOf(const NameTable<Enum, Count> &table, Enum value) {
    for (const auto &[candidate, names] : table) {
        if (candidate == value)
            return &names;
    }
    return nullptr;
}

template <typename Enum, size_t Count>
bool parse(const NameTable<Enum, Count> &table, QStringView rawValue, Enum &value) {
    for (const auto &[candidate, names] : table) {
        if (rawValue == QStringView(names.raw)) {
            value = candidate;
            return true;
        }
    }
    return false;
}

template <typename Enum, size_t Count>
QString raw(const NameTable<Enum, Count> &table, Enum value) {
    const Names *names = namesOf(table, value);
    return names ? QString::fromUtf16(names->raw) : QString();
}

template <typename Enum, size_t Count>
QString display(const NameTable<Enum, Count> &table, Enum value) {
    const Names *names = namesOf(table, value);
    return names ? QString::fromUtf16(names->display) : QString();
}

} // namespace

QString rawValue(InstructionLibraryCategory value) {
    return raw(categories, value);
}

QString rawValue(InstructionLibraryEntrySource value) {
    return raw(sources, value);
}

bool fromRawValue(QStringView rawValue, InstructionLibraryCategory &value) {
    return parse(categories, rawValue, value);
}

bool fromRawValue(QStringView rawValue, InstructionLibraryEntrySource &value) {
    return parse(sources, rawValue, value);
}

QString displayName(InstructionLibraryCategory value) {
    return display(categories, value);
}

QString displayName(InstructionLibraryEntrySource value) {
    return display(sources, value);
}

} // namespace tovalit
