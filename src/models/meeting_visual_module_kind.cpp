#include "models/meeting_visual_module_kind.h"

#include "support/textkit.h"

#include <QHash>

namespace tovalit {

using namespace Qt::StringLiterals;

QString rawValue(MeetingVisualModuleKind kind) {
    switch (kind) {
    case MeetingVisualModuleKind::cards:
        return u"多卡片"_s;
    case MeetingVisualModuleKind::process:
        return u"流程板"_s;
    case MeetingVisualModuleKind::chips:
        return u"标签条"_s;
    case MeetingVisualModuleKind::beforeAfter:
        return u"前后对比"_s;
    case MeetingVisualModuleKind::annotation:
        return u"证据注释"_s;
    case MeetingVisualModuleKind::decision:
        return u"决策日志"_s;
    case MeetingVisualModuleKind::hierarchy:
        return u"层级图"_s;
    case MeetingVisualModuleKind::history:
        return u"历史时间带"_s;
    }
    Q_UNREACHABLE();
    return {};
}

std::optional<MeetingVisualModuleKind> meetingVisualModuleKindFromRawValue(QStringView value) {
    for (MeetingVisualModuleKind kind : allMeetingVisualModuleKinds) {
        if (rawValue(kind) == value)
            return kind;
    }
    return std::nullopt;
}

std::optional<MeetingVisualModuleKind> meetingVisualModuleKindFrom(QStringView name) {
    using Kind = MeetingVisualModuleKind;
    static const QHash<QString, Kind> names{
        {u"多卡片"_s, Kind::cards},
        {u"多卡片信息模块"_s, Kind::cards},
        {u"卡片"_s, Kind::cards},
        {u"cards"_s, Kind::cards},
        {u"card"_s, Kind::cards},
        {u"流程板"_s, Kind::process},
        {u"流程板模块"_s, Kind::process},
        {u"流程"_s, Kind::process},
        {u"步骤"_s, Kind::process},
        {u"process"_s, Kind::process},
        {u"标签条"_s, Kind::chips},
        {u"标签条模块"_s, Kind::chips},
        {u"标签"_s, Kind::chips},
        {u"chips"_s, Kind::chips},
        {u"chip"_s, Kind::chips},
        {u"前后对比"_s, Kind::beforeAfter},
        {u"前后对比模块"_s, Kind::beforeAfter},
        {u"对比"_s, Kind::beforeAfter},
        {u"beforeafter"_s, Kind::beforeAfter},
        {u"before/after"_s, Kind::beforeAfter},
        {u"证据注释"_s, Kind::annotation},
        {u"证据注释条"_s, Kind::annotation},
        {u"证据注释条模块"_s, Kind::annotation},
        {u"注释"_s, Kind::annotation},
        {u"annotation"_s, Kind::annotation},
        {u"决策日志"_s, Kind::decision},
        {u"决策日志模块"_s, Kind::decision},
        {u"决策"_s, Kind::decision},
        {u"decision"_s, Kind::decision},
        {u"层级图"_s, Kind::hierarchy},
        {u"层级图模块"_s, Kind::hierarchy},
        {u"层级"_s, Kind::hierarchy},
        {u"架构层级"_s, Kind::hierarchy},
        {u"hierarchy"_s, Kind::hierarchy},
        {u"历史时间带"_s, Kind::history},
        {u"历史时间带模块"_s, Kind::history},
        {u"历史"_s, Kind::history},
        {u"时间带"_s, Kind::history},
        {u"history"_s, Kind::history},
    };
    const auto found = names.constFind(textkit::trimmed(name).toLower());
    if (found == names.constEnd())
        return std::nullopt;
    return found.value();
}

} // namespace tovalit
