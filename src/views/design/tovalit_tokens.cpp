#include "views/design/tovalit_tokens.h"

#include "views/design/tovalit_fonts.h"

namespace tovalit::TovalitTokens::FontStyle {

QFont cardTitle() {
    return tovalitFont(16, QFont::DemiBold);
}

QFont body() {
    return tovalitFont(13, QFont::Normal);
}

QFont bodyStrong() {
    return tovalitFont(13, QFont::Medium);
}

QFont caption() {
    return tovalitFont(11, QFont::Medium);
}

QFont captionStrong() {
    return tovalitFont(11, QFont::DemiBold);
}

QFont badge() {
    return tovalitFont(10, QFont::DemiBold);
}

} // namespace tovalit::TovalitTokens::FontStyle
