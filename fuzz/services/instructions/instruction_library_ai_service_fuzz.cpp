// Instruction drafting replies: the envelope, the answer's JSON object, and
// the custom entry made from it. The entry is stored, so it must read back
// from its stored form unchanged; drafting its own fields again gives the
// same entry.

#include "fuzz_checks.h"
#include "models/instruction_library_enums.h"
#include "services/instructions/instruction_library_ai_service.h"
#include "services/text_processing/chat_completions_envelope.h"
#include "support/app_error.h"
#include "support/json_text.h"

#include <QJsonObject>

using namespace tovalit;

namespace {

const QDateTime draftedAt = QDateTime(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC);

void checkDraft(const QString &content) {
    fuzz::requireValidUtf16(InstructionLibraryAIService::normalizedExecutionText(content),
                            "execution text");
    std::optional<InstructionLibraryEntry> entry;
    try {
        entry = InstructionLibraryAIService::draftedEntry(content, draftedAt);
    } catch (const AppError &) {
        return; // invalidJSON
    }
    const QJsonObject stored = entry->toJson();
    fuzz::requireValidUtf16(QJsonValue(stored), "drafted entry");
    const auto read = json::parseObject(json::pretty(stored));
    FUZZ_CHECK(read.has_value());
    FUZZ_CHECK(InstructionLibraryEntry::fromJson(*read) == *entry);

    const QString answer = QString::fromUtf8(json::compact(QJsonObject{
        {QStringLiteral("title"), entry->title},
        {QStringLiteral("summary"), entry->summary},
        {QStringLiteral("category"), rawValue(entry->category)},
        {QStringLiteral("prompt_template"), entry->promptTemplate},
    }));
    InstructionLibraryEntry again = InstructionLibraryAIService::draftedEntry(answer, draftedAt);
    again = InstructionLibraryEntry(entry->id(), again.title, again.summary, again.promptTemplate,
                                    again.invocationPhrases, again.invocationHint, again.category,
                                    again.source, again.enabled, again.maxTokens, again.createdAt,
                                    again.updatedAt);
    FUZZ_CHECK_TEXT(again == *entry, answer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray body = fuzz::bytes(data, size);
    checkDraft(QString::fromUtf8(body));
    std::optional<QString> content;
    try {
        content = ChatCompletionsEnvelope::assistantContent(body);
    } catch (const AppError &) {
        return 0;
    }
    if (content)
        checkDraft(*content);
    return 0;
}
