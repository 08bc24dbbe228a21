#pragma once

#include "models/instruction_library_entry.h"
#include "tests/support/qt_printers.h"

#include <QDateTime>
#include <QUuid>

#include <ostream>

namespace tovalit {

inline void PrintTo(const InstructionLibraryEntry &entry, std::ostream *out) {
    *out << rawValue(entry.source).toStdString() << " \"" << entry.title.toStdString() << "\" "
         << entry.id().toString(QUuid::WithoutBraces).toStdString();
}

namespace testing {

inline const QDateTime instructionTestEpoch = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);

// Compact construction of library entries for the instruction tests.
struct InstructionSpec {
    QString title;
    QStringList phrases{};
    InstructionLibraryEntrySource source = InstructionLibraryEntrySource::custom;
    bool enabled = true;
    int updatedMinute = 0;
    InstructionLibraryCategory category = InstructionLibraryCategory::writing;
    qint64 maxTokens = 900;
    QString prompt = QStringLiteral("你是测试助手。");
};

inline InstructionLibraryEntry instruction(const InstructionSpec &s) {
    return InstructionLibraryEntry(
        QUuid::createUuid(), s.title, QStringLiteral("测试用指令。"), s.prompt, s.phrases,
        s.title + QStringLiteral(" + 内容"), s.category, s.source, s.enabled, s.maxTokens,
        instructionTestEpoch, instructionTestEpoch.addSecs(60 * s.updatedMinute));
}

} // namespace testing
} // namespace tovalit
