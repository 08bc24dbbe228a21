#include "models/instruction_library_snapshot.h"

#include "models/instruction_library_catalog.h"
#include "models/instruction_library_decoding_error.h"
#include "support/json_text.h"

#include <QJsonArray>

namespace tovalit {

namespace {

using Problem = InstructionLibraryDecodingError::Problem;

bool isPresent(const QJsonObject &object, const QString &key) {
    const auto found = object.constFind(key);
    return found != object.constEnd() && !found->isNull();
}

qint64 versionOf(const QJsonObject &object, const QString &key) {
    if (!isPresent(object, key))
        return 0;
    const auto version = json::integer(object, key);
    if (!version)
        throw InstructionLibraryDecodingError(Problem::WrongType, key);
    return *version;
}

QList<InstructionLibraryEntry> entriesOf(const QJsonObject &object, const QString &key) {
    if (!isPresent(object, key))
        return {};
    const QJsonValue value = object.value(key);
    if (!value.isArray())
        throw InstructionLibraryDecodingError(Problem::WrongType, key);
    const QJsonArray array = value.toArray();
    QList<InstructionLibraryEntry> entries;
    entries.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString location = key + u'[' + QString::number(i) + u']';
        if (!array.at(i).isObject())
            throw InstructionLibraryDecodingError(Problem::WrongType, location);
        try {
            entries.append(InstructionLibraryEntry::fromJson(array.at(i).toObject()));
        } catch (const InstructionLibraryDecodingError &error) {
            throw error.nestedIn(location);
        }
    }
    return entries;
}

QJsonArray entryArray(const QList<InstructionLibraryEntry> &entries) {
    QJsonArray array;
    for (const InstructionLibraryEntry &entry : entries)
        array.append(entry.toJson());
    return array;
}

} // namespace

void InstructionLibrarySnapshot::reconcileBuiltinTemplatePack(
    const InstructionLibraryBuiltinTemplatePack &pack) {
    if (!builtinEntries.isEmpty() && builtinTemplateVersion >= pack.version)
        return;
    builtinTemplateVersion = pack.version;
    builtinEntries = pack.entries;
}

QJsonObject InstructionLibrarySnapshot::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("builtinTemplateVersion"), builtinTemplateVersion);
    object.insert(QStringLiteral("builtinEntries"), entryArray(builtinEntries));
    object.insert(QStringLiteral("customEntries"), entryArray(customEntries));
    return object;
}

InstructionLibrarySnapshot InstructionLibrarySnapshot::fromJson(const QJsonObject &object) {
    InstructionLibrarySnapshot snapshot;
    snapshot.builtinTemplateVersion = versionOf(object, QStringLiteral("builtinTemplateVersion"));
    snapshot.builtinEntries = entriesOf(object, QStringLiteral("builtinEntries"));
    snapshot.customEntries = entriesOf(object, QStringLiteral("customEntries"));
    snapshot.reconcileBuiltinTemplatePack(InstructionLibraryCatalog::defaultBuiltinTemplatePack());
    return snapshot;
}

QByteArray InstructionLibrarySnapshot::toFileBytes() const {
    return json::pretty(toJson());
}

InstructionLibrarySnapshot InstructionLibrarySnapshot::fromFileBytes(QByteArrayView bytes) {
    const auto object = json::parseObject(bytes);
    if (!object)
        throw InstructionLibraryDecodingError(Problem::NotAnObject, {});
    return fromJson(*object);
}

} // namespace tovalit
