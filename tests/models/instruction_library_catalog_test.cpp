#include "models/instruction_library_catalog.h"
#include "support/textkit.h"
#include "tests/models/instruction_test_entries.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using testing::instruction;

const InstructionLibraryEntry &builtinTitled(const QString &title) {
    for (const InstructionLibraryEntry &entry : InstructionLibraryCatalog::builtinEntries()) {
        if (entry.title == title)
            return entry;
    }
    throw std::logic_error("no such built-in");
}

// The built-ins as they are written into users' library files. Any change
// to an id, a title, a phrase, a limit or a word of a prompt changes what
// users have stored, so it must be a deliberate change of this digest.
std::string storedPackDigest() {
    QJsonArray entries;
    for (const InstructionLibraryEntry &entry : InstructionLibraryCatalog::builtinEntries())
        entries.append(entry.toJson());
    const QByteArray bytes = QJsonDocument(entries).toJson(QJsonDocument::Compact);
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
}

TEST(InstructionLibraryCatalogTest, ThePackHoldsTheFourteenBuiltinsInOrder) {
    const InstructionLibraryBuiltinTemplatePack &pack =
        InstructionLibraryCatalog::defaultBuiltinTemplatePack();
    EXPECT_EQ(pack.version, 3);
    EXPECT_EQ(&InstructionLibraryCatalog::builtinEntries(), &pack.entries) << "built once, shared";
    ASSERT_EQ(pack.entries.size(), 14);
    EXPECT_EQ(storedPackDigest(),
              "0e6d736aba57295fa91acd5b92196fd1ecc08313bc958fe716b95bd417e8a0ac");

    for (qsizetype i = 0; i < pack.entries.size(); ++i) {
        const InstructionLibraryEntry &entry = pack.entries[i];
        SCOPED_TRACE(entry.title.toStdString());
        EXPECT_EQ(entry.source, InstructionLibraryEntrySource::builtin);
        EXPECT_TRUE(entry.enabled);
        EXPECT_EQ(entry.createdAt, InstructionLibraryCatalog::distantPast());
        EXPECT_EQ(entry.updatedAt, InstructionLibraryCatalog::distantPast());

        // The prompt's frame: "你是 Tovalit 的<name>。", blank, task, blank,
        // "要求：", then the requirements numbered from 1.
        const QStringList lines = entry.promptTemplate.split(u'\n');
        ASSERT_GE(lines.size(), 6);
        EXPECT_TRUE(lines[0].startsWith(u"你是 Tovalit 的"_s) && lines[0].endsWith(u"。"_s));
        EXPECT_TRUE(lines[1].isEmpty());
        EXPECT_TRUE(lines[2].startsWith(u"请"_s)) << lines[2].toStdString();
        EXPECT_TRUE(lines[3].isEmpty());
        EXPECT_EQ(lines[4], u"要求："_s);
        for (qsizetype n = 1; n < lines.size() - 4; ++n) {
            EXPECT_TRUE(lines[4 + n].startsWith(QString::number(n) + u". "_s));
            EXPECT_TRUE(lines[4 + n].endsWith(u"。"_s)) << lines[4 + n].toStdString();
        }
    }
    EXPECT_LT(InstructionLibraryCatalog::distantPast(), QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
}

TEST(InstructionLibraryCatalogTest, TheEnglishTranslationPromptReadsInFull) {
    // One prompt in full, so a failing digest can be told from a wrong frame.
    EXPECT_EQ(builtinTitled(u"翻译成英文"_s).promptTemplate,
              u"你是 Tovalit 的英文翻译助手。\n"
              "\n"
              "请把用户提供的内容翻译成自然、准确、可直接使用的英文。\n"
              "\n"
              "要求：\n"
              "1. 只输出英文结果，不要解释，不要双语对照。\n"
              "2. 忠实保留原意、语气、限制条件和信息密度；不要漏信息，也不要擅自扩写。\n"
              "3. 默认输出现代、自然、可直接使用的英文；如果原文明显是聊天、邮件、文档或工程说明，"
              "请自动匹配相应语气和正式度。\n"
              "4. 专有名词、产品名、API、函数名、路径、参数、报错和品牌名优先保留原文或采用行业常用"
              "写法，不要乱翻。\n"
              "5. 如果原文本身是列表、标题或命令格式，保留相同的信息结构；如果原文是自然句子，就优"
              "先译成自然句子。"_s);
}

TEST(InstructionLibraryCatalogTest, NoBuiltinPhraseSharesOrStartsAnother) {
    QString longest;
    const QList<InstructionLibraryEntry> &entries = InstructionLibraryCatalog::builtinEntries();
    for (const InstructionLibraryEntry &entry : entries) {
        for (const QString &phrase : entry.invocationPhrases) {
            if (textkit::graphemeCount(phrase) > textkit::graphemeCount(longest))
                longest = phrase;
            const QString key = InstructionLibraryEntry::normalizedValue(phrase);
            for (const InstructionLibraryEntry &other : entries) {
                for (const QString &otherPhrase : other.invocationPhrases) {
                    if (&other == &entry && otherPhrase == phrase)
                        continue;
                    EXPECT_FALSE(
                        InstructionLibraryEntry::normalizedValue(otherPhrase).startsWith(key))
                        << phrase.toStdString() << " / " << otherPhrase.toStdString();
                }
            }
        }
    }
    EXPECT_EQ(longest, u"整理成Cursor指令"_s);
    EXPECT_EQ(textkit::graphemeCount(longest), 11);
}

TEST(InstructionLibraryCatalogTest, AllEntriesListsBuiltinsThenLatestCustomFirst) {
    const InstructionLibraryEntry tenOClock = instruction({.title = u"早"_s, .updatedMinute = 60});
    const InstructionLibraryEntry elevenOClock =
        instruction({.title = u"晚"_s, .updatedMinute = 120});
    const InstructionLibraryEntry ten = instruction({.title = u"指令10"_s});
    const InstructionLibraryEntry two = instruction({.title = u"指令2"_s});
    const InstructionLibraryEntry twoAgain = instruction({.title = u"指令2"_s});
    const QList<InstructionLibraryEntry> builtins = {
        InstructionLibraryCatalog::builtinEntries()[3],
        InstructionLibraryCatalog::builtinEntries()[0]};

    const QList<InstructionLibraryEntry> all = InstructionLibraryCatalog::allEntries(
        builtins, {ten, tenOClock, two, elevenOClock, twoAgain});
    EXPECT_EQ(all, (QList<InstructionLibraryEntry>{builtins[0], builtins[1], elevenOClock,
                                                   tenOClock, two, twoAgain, ten}));

    const InstructionLibrarySnapshot snapshot = InstructionLibraryCatalog::defaultSnapshot({ten});
    EXPECT_EQ(snapshot.builtinTemplateVersion, 3);
    EXPECT_EQ(snapshot.builtinEntries, InstructionLibraryCatalog::builtinEntries());
    EXPECT_EQ(snapshot.customEntries, QList<InstructionLibraryEntry>{ten});
}

} // namespace
} // namespace tovalit
