#include "support/uuid_text.h"

namespace tovalit::uuidtext {

namespace {

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

} // namespace

QString upper(const QUuid &id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QString lower(const QUuid &id) {
    return id.toString(QUuid::WithoutBraces);
}

QString newUpper() {
    return upper(QUuid::createUuid());
}

QString newLower() {
    return lower(QUuid::createUuid());
}

std::optional<QUuid> parse(QStringView text) {
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != u'-' : !isHexDigit(c))
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

} // namespace tovalit::uuidtext
