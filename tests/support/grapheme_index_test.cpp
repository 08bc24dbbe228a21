#include "support/grapheme_index.h"
#include "support/textkit.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;

// Pieces whose characters reach across their neighbours: marks that join
// the character before, flag halves that pair, emoji sequences, Hangul
// jamo, CR LF, and the plain characters between them.
const QStringList pieces{u"好"_s,          u"a"_s,      u"。"_s,     u"\u0301"_s, u"e\u0301"_s,
                         u"🇨"_s,           u"🇳"_s,      u"👍"_s,      u"🏻"_s,   u"\u200d"_s,
                         u"👩‍💻"_s, u"\u1100"_s, u"\u1161"_s, u"\u11a8"_s, u"\r"_s,
                         u"\n"_s,          u"\u0915"_s, u"\u094d"_s, u" "_s,      u"。\u0301"_s};

QString randomPieces(QRandomGenerator &random, int count) {
    QString text;
    for (int index = 0; index < count; ++index)
        text += pieces.at(random.bounded(int(pieces.size())));
    return text;
}

TEST(GraphemeIndexTest, EveryEditGivesTheCharactersOfTheWholeNewText) {
    QRandomGenerator random(7);
    GraphemeIndex index;
    QString text;
    for (int step = 0; step < 4000; ++step) {
        const QString before = text;
        // Mostly growth at the end, sometimes a revised or shortened end,
        // now and then an edit anywhere.
        switch (random.bounded(6)) {
        case 0:
        case 1:
        case 2:
            text += randomPieces(random, 1 + random.bounded(3));
            break;
        case 3:
            text.chop(std::min<qsizetype>(text.size(), random.bounded(6)));
            text += randomPieces(random, random.bounded(4));
            break;
        case 4:
            text.chop(std::min<qsizetype>(text.size(), random.bounded(3)));
            break;
        default:
            if (!text.isEmpty())
                text.insert(random.bounded(int(text.size())), randomPieces(random, 1));
            break;
        }
        if (text.size() > 400)
            text = text.right(200);
        const GraphemeIndex::Change change = index.assign(text);

        const std::vector<qsizetype> expected = textkit::graphemeBoundaries(text);
        ASSERT_EQ(index.count(), qsizetype(expected.size()) - 1) << step;
        for (qsizetype at = 0; at <= index.count(); ++at)
            ASSERT_EQ(index.boundary(at), expected[std::size_t(at)]) << step << " " << at;
        ASSERT_EQ(change.commonUnits, GraphemeIndex::commonPrefixLength(before, text));
        // What it kept is the same in both texts, character for character.
        const std::vector<qsizetype> old = textkit::graphemeBoundaries(before);
        ASSERT_LT(change.keptCharacters, qsizetype(old.size()));
        for (qsizetype at = 0; at <= change.keptCharacters; ++at)
            ASSERT_EQ(old[std::size_t(at)], expected[std::size_t(at)]) << step;
        ASSERT_LE(index.boundary(change.keptCharacters), change.commonUnits);
    }
}

TEST(GraphemeIndexTest, AMarkAfterTheEndJoinsTheLastCharacter) {
    GraphemeIndex index(u"句子。"_s);
    ASSERT_EQ(index.count(), 3);
    index.assign(u"句子。\u0301"_s);
    ASSERT_EQ(index.count(), 3);
    EXPECT_EQ(index.character(2), u"。\u0301"_s);
    index.assign(u"🇨🇳🇨"_s);
    index.assign(u"🇨🇳🇨🇳"_s);
    EXPECT_EQ(index.count(), 2);
    EXPECT_EQ(index.character(1), u"🇨🇳"_s);
}

} // namespace
} // namespace tovalit
