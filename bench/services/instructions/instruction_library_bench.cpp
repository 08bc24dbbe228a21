// Costs at the end of every dictation and at start-up: recognising a
// spoken command against a library of the built-ins and a hundred custom
// entries (the worst case is a dictation that is no command, since every
// phrase is tried), and reading that library from its file's bytes.

#include "models/instruction_library_catalog.h"
#include "services/instructions/instruction_intent_recognizer.h"

#include <benchmark/benchmark.h>

namespace tovalit {
namespace {

QList<InstructionLibraryEntry> libraryWithCustomEntries(int count) {
    const QDateTime epoch = QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
    QList<InstructionLibraryEntry> custom;
    for (int i = 0; i < count; ++i) {
        custom.append(InstructionLibraryEntry::makeCustom(
            std::nullopt, QStringLiteral("自定义指令%1").arg(i), QStringLiteral("说明。"),
            QStringLiteral("你是助手。"), InstructionLibraryCategory::writing, true, 900, epoch,
            epoch.addSecs(i)));
    }
    return InstructionLibraryCatalog::allEntries(InstructionLibraryCatalog::builtinEntries(),
                                                 custom);
}

QString dictation(int characters) {
    const QString sentence = QStringLiteral("今天下午我们讨论了发布计划，Release 放到周五。");
    QString text;
    while (text.size() < characters)
        text += sentence;
    return text.left(characters);
}

void BM_ResolveIntentWithoutCommand(benchmark::State &state) {
    const QList<InstructionLibraryEntry> entries = libraryWithCustomEntries(100);
    const QString text = dictation(500);
    for (auto _ : state)
        benchmark::DoNotOptimize(InstructionIntentRecognizer::resolveIntent(text, entries));
}
BENCHMARK(BM_ResolveIntentWithoutCommand)->Unit(benchmark::kMicrosecond);

void BM_ResolveIntentRunningABuiltin(benchmark::State &state) {
    const QList<InstructionLibraryEntry> entries = libraryWithCustomEntries(100);
    const QString text = QStringLiteral("翻译成英文：") + dictation(500);
    for (auto _ : state)
        benchmark::DoNotOptimize(InstructionIntentRecognizer::resolveIntent(text, entries));
}
BENCHMARK(BM_ResolveIntentRunningABuiltin)->Unit(benchmark::kMicrosecond);

void BM_DecodeLibraryFile(benchmark::State &state) {
    const QList<InstructionLibraryEntry> all = libraryWithCustomEntries(100);
    const QByteArray bytes = InstructionLibraryCatalog::defaultSnapshot(
                                 all.mid(InstructionLibraryCatalog::builtinEntries().size()))
                                 .toFileBytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(InstructionLibrarySnapshot::fromFileBytes(bytes));
}
BENCHMARK(BM_DecodeLibraryFile)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace tovalit
