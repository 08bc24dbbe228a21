#include "services/text_processing/natural_mode_prompt_catalog.h"

#include "services/text_processing/natural_mode_prompts.h"
#include "services/text_processing/structured_formatting_task.h"
#include "support/regex.h"
#include "support/textkit.h"

namespace tovalit::NaturalModePromptCatalog {

using textkit::Regex;

namespace {

// The patterns are constants: one that does not compile throws on first use,
// which every test of these checks turns into a failure instead of a quiet
// "no match".
const Regex &listMarkers() {
    static const Regex pattern(
        uR"re(第[一二三四五六七八九十]|(?<!\d)[1-9][\.、]|[一二三四五六七八九十]是)re");
    return pattern;
}

const Regex &sequenceWords() {
    static const Regex pattern(uR"re(首先|其次|然后|另外|还有一个|还有|再一个|接着)re");
    return pattern;
}

const Regex &disallowedHeading() {
    static const Regex pattern(
        uR"re((?mi)^\s*(?:#+\s*)?(?:摘要|要点|待办|结论|补充|行动项|会议纪要|纪要|总结|summary|context|constraints|todo|checklist|acceptance(?:\s+criteria)?)\s*(?:[:：]|$))re");
    return pattern;
}

const Regex &listLine() {
    static const Regex pattern(uR"re((?mi)^\s*(?:[-*•]|\d+[\.、])\s+)re");
    return pattern;
}

const Regex &templateField() {
    static const Regex pattern(
        uR"re((?mi)^\s*(?:目标|背景|上下文|约束|修改点|验证步骤|待办|summary|context|constraints|todo|to-do|acceptance(?:\s+criteria)?)\s*[:：])re");
    return pattern;
}

} // namespace

QString systemPrompt(const StructuredFormattingTask &task) {
    if (const auto *natural = task.asNatural()) {
        switch (natural->stage) {
        case NaturalModeStage::shortCleanup:
            return NaturalModePrompts::shortCleanup();
        case NaturalModeStage::mediumCleanup:
            return NaturalModePrompts::mediumCleanup();
        }
    }
    if (task.asMeetingIncremental())
        return NaturalModePrompts::meetingIncremental();
    return NaturalModePrompts::meetingFinal();
}

bool looksLikeListDictation(QStringView text) {
    const QString trimmedText = textkit::trimmed(text);
    if (trimmedText.isEmpty())
        return false;
    const qsizetype markers = listMarkers().countMatches(trimmedText);
    if (markers >= 2)
        return true;
    return markers == 1 && sequenceWords().countMatches(trimmedText) >= 1;
}

bool containsDisallowedTemplateHeading(QStringView text) {
    const QString trimmedText = textkit::trimmed(text);
    if (trimmedText.isEmpty())
        return false;
    return disallowedHeading().matchesIn(trimmedText);
}

bool isOverStructuredForNaturalMode(QStringView original, QStringView formatted,
                                    QStringView appProfileID) {
    const QString trimmedOriginal = textkit::trimmed(original);
    const QString trimmedFormatted = textkit::trimmed(formatted);
    if (trimmedOriginal.isEmpty() || trimmedFormatted.isEmpty())
        return false;
    if (appProfileID != u"cursor" && appProfileID != u"ai_chat")
        return false;
    if (looksLikeListDictation(trimmedOriginal))
        return false;
    if (listLine().countMatches(trimmedFormatted) >= 2)
        return true;
    return templateField().countMatches(trimmedFormatted) >= 2;
}

} // namespace tovalit::NaturalModePromptCatalog
