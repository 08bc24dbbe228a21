#include "support/grapheme_index.h"

#include "support/textkit.h"

#include <algorithm>
#include <cstring>

namespace tovalit {

GraphemeIndex::GraphemeIndex(const QString &text) {
    assign(text);
}

GraphemeIndex::Change GraphemeIndex::assign(const QString &text) {
    const qsizetype common = commonPrefixLength(m_text, text);
    const auto settled =
        std::upper_bound(m_boundaries.begin(), m_boundaries.end(), common - settledDistance);
    // The text's start is a boundary whatever follows it.
    const auto kept = std::max<std::ptrdiff_t>(settled - m_boundaries.begin(), 1);
    m_boundaries.resize(std::size_t(kept));
    m_text = text;
    const qsizetype restart = m_boundaries.back();
    const std::vector<qsizetype> rest =
        textkit::graphemeBoundaries(QStringView(m_text).sliced(restart));
    for (std::size_t index = 1; index < rest.size(); ++index)
        m_boundaries.push_back(restart + rest[index]);
    return {common, qsizetype(kept) - 1};
}

QStringView GraphemeIndex::character(qsizetype index) const {
    const qsizetype start = boundary(index);
    return QStringView(m_text).sliced(start, boundary(index + 1) - start);
}

qsizetype GraphemeIndex::commonPrefixLength(QStringView a, QStringView b) {
    const qsizetype limit = std::min(a.size(), b.size());
    if (a.data() == b.data())
        return limit;
    // Whole blocks first: a live transcript shares all but its last few
    // characters with the one before.
    constexpr qsizetype block = 64;
    qsizetype at = 0;
    while (at + block <= limit &&
           std::memcmp(a.data() + at, b.data() + at, block * sizeof(QChar)) == 0) {
        at += block;
    }
    while (at < limit && a[at] == b[at])
        ++at;
    return at;
}

} // namespace tovalit
