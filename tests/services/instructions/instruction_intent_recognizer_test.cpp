#include "models/instruction_library_catalog.h"
#include "services/instructions/instruction_intent_recognizer.h"
#include "tests/models/instruction_test_entries.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using testing::instruction;
using Kind = InstructionIntentMatch::Kind;
using Source = InstructionLibraryEntrySource;

const InstructionLibraryEntry &builtinTitled(const QString &title) {
    for (const InstructionLibraryEntry &entry : InstructionLibraryCatalog::builtinEntries()) {
        if (entry.title == title)
            return entry;
    }
    throw std::logic_error("no such built-in");
}

QList<InstructionLibraryEntry> withBuiltins(const QList<InstructionLibraryEntry> &custom) {
    return InstructionLibraryCatalog::allEntries(InstructionLibraryCatalog::builtinEntries(),
                                                 custom);
}

std::string describe(const InstructionIntentMatch &match) {
    switch (match.kind()) {
    case Kind::create:
        return "create(" + match.description().toStdString() + ")";
    case Kind::run:
        return "run(" + match.asRun()->entry.title.toStdString() + ", " +
               match.asRun()->input.toStdString() + ", " +
               match.asRun()->matchedPhrase.toStdString() + ")";
    case Kind::none:
        return "none";
    }
    return {};
}

struct Case {
    const char *name;
    QString transcript;
    InstructionIntentMatch expected;
};

void expectMatches(const std::vector<Case> &cases, const QList<InstructionLibraryEntry> &entries) {
    for (const Case &c : cases) {
        const InstructionIntentMatch match =
            InstructionIntentRecognizer::resolveIntent(c.transcript, entries);
        EXPECT_EQ(match, c.expected)
            << c.name << ": got " << describe(match) << ", expected " << describe(c.expected);
    }
}

InstructionIntentMatch run(const InstructionLibraryEntry &entry, const QString &input,
                           const QString &phrase) {
    return InstructionIntentMatch::run(entry, input, phrase);
}

TEST(InstructionIntentRecognizerTest, CreatePhrasesWinAndNeedADescription) {
    EXPECT_EQ(InstructionIntentRecognizer::createPhrases(),
              (QStringList{u"帮我创建一个指令"_s, u"帮我建一个指令"_s, u"创建一个指令"_s,
                           u"新建一个指令"_s, u"帮我新增一个指令"_s, u"保存成指令"_s}));
    // A custom entry whose phrase is itself a create phrase never runs.
    const InstructionLibraryEntry greedy =
        instruction({.title = u"贪心"_s, .phrases = {u"帮我创建一个指令"_s}});
    const std::vector<Case> cases = {
        {"full-width comma and full stop trimmed", u"帮我创建一个指令，把会议纪要整理成表格。"_s,
         InstructionIntentMatch::create(u"把会议纪要整理成表格"_s)},
        {"phrase alone is no command", u"帮我创建一个指令"_s, InstructionIntentMatch::none()},
        {"phrase and delimiters alone", u" 帮我创建一个指令：；、 \n"_s,
         InstructionIntentMatch::none()},
        {"each create phrase", u"新建一个指令 翻译成粤语"_s,
         InstructionIntentMatch::create(u"翻译成粤语"_s)},
        {"shortest create phrase", u"保存成指令:每天早上写站会提纲;"_s,
         InstructionIntentMatch::create(u"每天早上写站会提纲"_s)},
        {"longest create phrase first", u"帮我新增一个指令、润色邮件"_s,
         InstructionIntentMatch::create(u"润色邮件"_s)},
        {"inner delimiters stay", u"创建一个指令，先翻译，再润色。"_s,
         InstructionIntentMatch::create(u"先翻译，再润色"_s)},
    };
    expectMatches(cases, withBuiltins({greedy}));
}

TEST(InstructionIntentRecognizerTest, BuiltinPhrasesRunOnTheRestOfTheDictation) {
    const InstructionLibraryEntry &english = builtinTitled(u"翻译成英文"_s);
    const InstructionLibraryEntry &cursor = builtinTitled(u"Cursor指令化"_s);
    const InstructionLibraryEntry &polish = builtinTitled(u"润色表达"_s);
    const std::vector<Case> cases = {
        {"full-width colon and full stop", u"翻译成英文：今天的会议改到下午三点。"_s,
         run(english, u"今天的会议改到下午三点"_s, u"翻译成英文"_s)},
        {"longer phrase of the same entry first", u"帮我翻译成英文 see you"_s,
         run(english, u"see you"_s, u"帮我翻译成英文"_s)},
        {"full-width Latin letters", u"Ｃｕｒｓｏｒ指令化 修复登录页"_s,
         run(cursor, u"修复登录页"_s, u"Cursor指令化"_s)},
        {"lower case", u"cursor指令化，加上单测"_s, run(cursor, u"加上单测"_s, u"Cursor指令化"_s)},
        {"ideographic spaces around", u"\u3000润色一下\u3000这句话不太通顺\u3000"_s,
         run(polish, u"这句话不太通顺"_s, u"润色一下"_s)},
        {"no space after the phrase", u"改写一下我们下周再聊"_s,
         run(polish, u"我们下周再聊"_s, u"改写一下"_s)},
        {"phrase alone is no command", u"翻译成英文"_s, InstructionIntentMatch::none()},
        {"phrase and punctuation alone", u"翻译成英文。"_s, InstructionIntentMatch::none()},
        {"phrase not at the start", u"请帮我翻译成英文 hello"_s, InstructionIntentMatch::none()},
        {"empty", u""_s, InstructionIntentMatch::none()},
        {"blank", u" \n\u3000 "_s, InstructionIntentMatch::none()},
    };
    expectMatches(cases, withBuiltins({}));
}

TEST(InstructionIntentRecognizerTest, LongerPhrasesThenCustomEntriesGoFirst) {
    const InstructionLibraryEntry derived = instruction({.title = u"翻译"_s});
    const InstructionLibraryEntry shortPhrase =
        instruction({.title = u"短翻译"_s, .phrases = {u"翻译"_s}});
    const InstructionLibraryEntry customTwin =
        instruction({.title = u"我的英文"_s, .phrases = {u"帮我翻译成英文"_s}});
    const InstructionLibraryEntry accented = instruction({.title = u"Café 菜单"_s});
    const InstructionLibraryEntry disabled =
        instruction({.title = u"停用"_s, .phrases = {u"只有我"_s}, .enabled = false});
    const InstructionLibraryEntry &english = builtinTitled(u"翻译成英文"_s);

    // The derived phrases "用翻译指令" … match; the built-in still wins on
    // its own text, and a two-character phrase only catches what is left.
    expectMatches(
        {
            {"derived phrase", u"用翻译指令 把这段译成法语"_s,
             run(derived, u"把这段译成法语"_s, u"用翻译指令"_s)},
            {"other derived phrase", u"调用翻译指令：你好"_s,
             run(derived, u"你好"_s, u"调用翻译指令"_s)},
            {"built-in beats the derived phrases", u"翻译成英文 hello"_s,
             run(english, u"hello"_s, u"翻译成英文"_s)},
            {"short phrase catches the rest", u"翻译一下这段"_s,
             run(shortPhrase, u"一下这段"_s, u"翻译"_s)},
            {"accents and case fold in derived phrases", u"用CAFE 菜单指令 加一道甜点"_s,
             run(accented, u"加一道甜点"_s, u"用Café 菜单指令"_s)},
            {"disabled entry never runs", u"只有我 知道"_s, InstructionIntentMatch::none()},
        },
        withBuiltins({derived, shortPhrase, accented, disabled}));

    // Equal longest phrases: the user's entry before the built-in, in
    // either order of the list.
    expectMatches({{"custom first", u"帮我翻译成英文 hello"_s,
                    run(customTwin, u"hello"_s, u"帮我翻译成英文"_s)}},
                  {english, customTwin});
    QList<InstructionLibraryEntry> reversed{customTwin, english};
    expectMatches({{"custom first, reversed", u"帮我翻译成英文 hello"_s,
                    run(customTwin, u"hello"_s, u"帮我翻译成英文"_s)}},
                  reversed);

    // Same length and source: titles in list order, numbers by value.
    const InstructionLibraryEntry ten = instruction({.title = u"版本10"_s, .phrases = {u"发版"_s}});
    const InstructionLibraryEntry two = instruction({.title = u"版本2"_s, .phrases = {u"发版"_s}});
    expectMatches({{"title order", u"发版 今晚"_s, run(two, u"今晚"_s, u"发版"_s)}}, {ten, two});

    expectMatches({{"nothing enabled", u"只有我 知道"_s, InstructionIntentMatch::none()}},
                  {disabled});
}

TEST(InstructionIntentRecognizerTest, HandEditedPhrasesFromTheFile) {
    // Stored phrases are not cleaned on decoding. White space around a
    // phrase never eats into what was said; a phrase that is empty once
    // normalised was never said at all, so it matches nothing and every
    // dictation does not end up as its input.
    InstructionLibraryEntry empty = instruction({.title = u"兜底"_s});
    empty.invocationPhrases = {u""_s};
    InstructionLibraryEntry padded = instruction({.title = u"日报"_s});
    padded.invocationPhrases = {u" 写日报 "_s};
    InstructionLibraryEntry blank = instruction({.title = u"空白"_s});
    blank.invocationPhrases = {u"   "_s, u"写周报"_s};

    expectMatches({{"padded phrase", u"写日报今天修了三个缺陷"_s,
                    run(padded, u"今天修了三个缺陷"_s, u" 写日报 "_s)},
                   {"empty phrase", u"，随便说点什么。"_s, InstructionIntentMatch::none()}},
                  {empty, padded});
    expectMatches({{"blank phrase", u"随便说点什么"_s, InstructionIntentMatch::none()},
                   {"the entry's other phrase", u"写周报 本周上线两项"_s,
                    run(blank, u"本周上线两项"_s, u"写周报"_s)}},
                  {blank});
}

} // namespace
} // namespace tovalit
