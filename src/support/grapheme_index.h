#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace tovalit {

// The characters (grapheme clusters) of a text that changes mostly at its
// end, such as the live transcript the recogniser resends whole with every
// partial result. Moving to a new text keeps the boundaries it shares with
// the previous one and segments only what follows, so following a text
// that grows costs what its new end costs, not what it holds.
class GraphemeIndex {
public:
    // What moving to a new text kept.
    struct Change {
        // Leading UTF-16 units the two texts share.
        qsizetype commonUnits = 0;
        // Leading characters that are the same, at the same offsets, in
        // both texts (possibly fewer than they share: the last shared ones
        // are segmented again).
        qsizetype keptCharacters = 0;
    };

    // Whether a character boundary lies at an offset depends on the
    // characters before it and on at most the two code points after it, so
    // a boundary this many units before the first difference of two texts
    // holds in both. Segmenting afresh from a boundary gives what segmenting
    // from the start gives: no rule reaches back across one.
    static constexpr qsizetype settledDistance = 4;

    GraphemeIndex() = default;
    explicit GraphemeIndex(const QString &text);

    Change assign(const QString &text);

    const QString &text() const { return m_text; }
    qsizetype count() const { return qsizetype(m_boundaries.size()) - 1; }
    // Where character `index` starts; count() gives the text's end.
    qsizetype boundary(qsizetype index) const { return m_boundaries[std::size_t(index)]; }
    QStringView character(qsizetype index) const;

    // The number of leading UTF-16 units `a` and `b` share.
    static qsizetype commonPrefixLength(QStringView a, QStringView b);

private:
    QString m_text;
    std::vector<qsizetype> m_boundaries{0};
};

} // namespace tovalit
