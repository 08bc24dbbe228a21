#include "services/meeting/meeting_local_minutes.h"

#include <QStringList>

namespace tovalit::MeetingLocalMinutes {

namespace {

QString itemText(const MeetingVisualItem &item) {
    return item.body.isEmpty() ? item.title : item.title + u'：' + item.body;
}

QString stageEntry(const MeetingMinuteBlock &block) {
    QStringList lines{QStringLiteral("### ") + block.title()};
    for (const MeetingTextModule &module : block.textModules())
        lines.append(QStringLiteral("- ") + module.title + u'：' + module.body);
    for (const MeetingVisualModule &module : block.visualModules()) {
        QStringList items;
        items.reserve(module.items.size());
        for (const MeetingVisualItem &item : module.items)
            items.append(itemText(item));
        lines.append(QStringLiteral("- ") + module.title + u'：' + items.join(u'；'));
    }
    return lines.join(u'\n');
}

} // namespace

QString fromBlocks(const QList<MeetingMinuteBlock> &blocks) {
    Q_ASSERT(!blocks.isEmpty());
    const QList<MeetingTextModule> &opening = blocks.first().textModules();
    const QString overview =
        opening.isEmpty() ? QStringLiteral("本次会议已进入结构化讨论阶段。") : opening.first().body;
    QStringList entries;
    entries.reserve(blocks.size());
    for (const MeetingMinuteBlock &block : blocks)
        entries.append(stageEntry(block));
    return QStringLiteral("## 会议概览\n") + overview + QStringLiteral("\n\n## 讨论演进\n") +
           entries.join(QStringLiteral("\n\n"));
}

} // namespace tovalit::MeetingLocalMinutes
