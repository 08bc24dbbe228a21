#include "models/meeting_minute_block.h"

#include "models/meeting_module_shaping.h"

#include <QStringList>

#include <algorithm>

namespace tovalit {

using namespace Qt::StringLiterals;

MeetingMinuteBlock::MeetingMinuteBlock(QUuid id, int index, QString title, int startSecond,
                                       int endSecond, QList<MeetingTextModule> textModules,
                                       QList<MeetingVisualModule> visualModules,
                                       QDateTime createdAt)
    : m_id(id)
    , m_index(index)
    , m_title(std::move(title))
    , m_startSecond(std::max(startSecond, 0))
    , m_endSecond(std::max(m_startSecond, endSecond))
    , m_textModules(MeetingModuleShaping::limitedTextModules(
          MeetingModuleShaping::resolvedTextModules(textModules)))
    , m_visualModules(
          MeetingModuleShaping::ensuredVisualModules(visualModules, m_title, m_textModules))
    , m_createdAt(std::move(createdAt)) {}

MeetingMinuteBlock MeetingMinuteBlock::merging(const MeetingMinuteBlock &other) const {
    return MeetingMinuteBlock(
        m_id, m_index, m_title, std::min(m_startSecond, other.m_startSecond),
        std::max(m_endSecond, other.m_endSecond),
        MeetingModuleShaping::resolvedTextModules(m_textModules + other.m_textModules),
        MeetingModuleShaping::dedupedVisualModules(m_visualModules + other.m_visualModules),
        m_createdAt);
}

namespace {

QString itemFragment(const MeetingVisualItem &item) {
    return item.body.isEmpty() ? item.title : item.title + u"::"_s + item.body;
}

} // namespace

QString MeetingMinuteBlock::promptFragment() const {
    QStringList lines{u"[阶段] "_s + m_title};
    for (const MeetingTextModule &module : m_textModules)
        lines.append(u"[文本模块] "_s + module.title + u" => "_s + module.body);
    for (const MeetingVisualModule &module : m_visualModules) {
        QStringList items;
        items.reserve(module.items.size());
        for (const MeetingVisualItem &item : module.items)
            items.append(itemFragment(item));
        lines.append(u"[图文模块] "_s + rawValue(module.kind) + u"|"_s + module.title + u" => "_s +
                     items.join(u" || "_s));
    }
    return lines.join(u'\n');
}

QString MeetingMinuteBlock::promptOutlineFragment() const {
    QStringList lines{u"[阶段] "_s + m_title};
    if (!m_textModules.isEmpty()) {
        QStringList titles;
        for (const MeetingTextModule &module : m_textModules)
            titles.append(module.title);
        lines.append(u"[已有文本模块] "_s + titles.join(u" || "_s));
    }
    if (!m_visualModules.isEmpty()) {
        QStringList names;
        for (const MeetingVisualModule &module : m_visualModules)
            names.append(rawValue(module.kind) + u"|"_s + module.title);
        lines.append(u"[已有图文模块] "_s + names.join(u" || "_s));
    }
    return lines.join(u'\n');
}

QString MeetingMinuteBlock::timeRangeLabel(int startSecond, int endSecond) {
    const int start = std::max(startSecond, 0);
    const int end = std::max(start, endSecond);
    const auto clock = [](int seconds) {
        return u"%1:%2"_s.arg(seconds / 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    };
    return clock(start) + u" - "_s + clock(end);
}

} // namespace tovalit
