#include "views/client_window_section.h"

namespace tovalit {

QString rawValue(ClientWindowSection section) {
    switch (section) {
    case ClientWindowSection::home:
        return QStringLiteral("home");
    case ClientWindowSection::instructions:
        return QStringLiteral("instructions");
    case ClientWindowSection::lexicon:
        return QStringLiteral("lexicon");
    case ClientWindowSection::history:
        return QStringLiteral("history");
    case ClientWindowSection::settings:
        return QStringLiteral("settings");
    }
    return {};
}

QString title(ClientWindowSection section) {
    switch (section) {
    case ClientWindowSection::home:
        return QStringLiteral("主页");
    case ClientWindowSection::instructions:
        return QStringLiteral("指令库");
    case ClientWindowSection::lexicon:
        return QStringLiteral("个人词库");
    case ClientWindowSection::history:
        return QStringLiteral("历史记录");
    case ClientWindowSection::settings:
        return QStringLiteral("设置");
    }
    return {};
}

QString systemImage(ClientWindowSection section) {
    switch (section) {
    case ClientWindowSection::home:
        return QStringLiteral("house");
    case ClientWindowSection::instructions:
        return QStringLiteral("sparkles.rectangle.stack");
    case ClientWindowSection::lexicon:
        return QStringLiteral("text.badge.star");
    case ClientWindowSection::history:
        return QStringLiteral("clock.arrow.circlepath");
    case ClientWindowSection::settings:
        return QStringLiteral("slider.horizontal.3");
    }
    return {};
}

} // namespace tovalit
