#include "views/design/tovalit_badge_tone.h"

#include "views/design/tovalit_palette.h"

namespace tovalit {

QColor backgroundColor(TovalitBadgeTone tone) {
    switch (tone) {
    case TovalitBadgeTone::brand:
        return withOpacity(TovalitPalette::brand(), 0.12);
    case TovalitBadgeTone::neutral:
        return withOpacity(TovalitPalette::primary(), 0.08);
    case TovalitBadgeTone::success:
        return withOpacity(TovalitPalette::brandStrong(), 0.14);
    case TovalitBadgeTone::warning:
        return withOpacity(TovalitPalette::orange(), 0.14);
    case TovalitBadgeTone::danger:
        return withOpacity(TovalitPalette::red(), 0.12);
    }
    Q_UNREACHABLE();
}

QColor foregroundColor(TovalitBadgeTone tone) {
    switch (tone) {
    case TovalitBadgeTone::brand:
    case TovalitBadgeTone::success:
        return TovalitPalette::brandStrong();
    case TovalitBadgeTone::neutral:
        return TovalitPalette::secondary();
    case TovalitBadgeTone::warning:
        return TovalitPalette::orange();
    case TovalitBadgeTone::danger:
        return TovalitPalette::red();
    }
    Q_UNREACHABLE();
}

} // namespace tovalit
