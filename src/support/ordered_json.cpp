#include "support/ordered_json.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace tovalit::json {

QByteArray compactValue(const QJsonValue &value) {
    // QJsonDocument only writes arrays and objects: wrap, then unwrap.
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

OrderedObjectWriter &OrderedObjectWriter::add(QStringView key, const QJsonValue &value) {
    if (!m_members.isEmpty())
        m_members += ',';
    m_members += compactValue(QJsonValue(key.toString()));
    m_members += ':';
    m_members += compactValue(value);
    return *this;
}

QByteArray OrderedObjectWriter::compact() const {
    return '{' + m_members + '}';
}

} // namespace tovalit::json
