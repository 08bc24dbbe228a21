#pragma once

#include "models/instruction_library_builtin_template_pack.h"
#include "models/instruction_library_entry.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QList>

namespace tovalit {

// The whole instruction library: the content of "instruction-library.json".
struct InstructionLibrarySnapshot {
    // The pack version `builtinEntries` came from.
    qint64 builtinTemplateVersion = 0;
    // In catalogue order.
    QList<InstructionLibraryEntry> builtinEntries;
    QList<InstructionLibraryEntry> customEntries;

    bool operator==(const InstructionLibrarySnapshot &other) const = default;

    // Takes the pack's built-ins when this snapshot has none or comes from
    // an older pack; a newer snapshot keeps its own. Custom entries are
    // never touched.
    void reconcileBuiltinTemplatePack(const InstructionLibraryBuiltinTemplatePack &pack);

    QJsonObject toJson() const;
    // Each member may be missing (version 0, no entries); the result is
    // reconciled with the current built-in pack. One bad entry fails the
    // whole snapshot. Throws InstructionLibraryDecodingError.
    static InstructionLibrarySnapshot fromJson(const QJsonObject &object);
    // The file's bytes: pretty-printed, keys sorted, UTF-8.
    QByteArray toFileBytes() const;
    // Throws InstructionLibraryDecodingError, also for bytes that are not a
    // JSON object.
    static InstructionLibrarySnapshot fromFileBytes(QByteArrayView bytes);
};

} // namespace tovalit
