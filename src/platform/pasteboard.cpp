#include "platform/pasteboard.h"

namespace tovalit {

void PasteboardItem::setData(const QString &type, QByteArray data) {
    for (PasteboardRepresentation &representation : representations) {
        if (representation.type == type) {
            representation.data = std::move(data);
            return;
        }
    }
    representations.append(PasteboardRepresentation{type, std::move(data)});
}

void PasteboardItem::setString(const QString &text) {
    setData(Pasteboard::stringType, text.toUtf8());
}

std::optional<QByteArray> PasteboardItem::data(const QString &type) const {
    for (const PasteboardRepresentation &representation : representations) {
        if (representation.type == type)
            return representation.data;
    }
    return std::nullopt;
}

} // namespace tovalit
