#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QStringView>

// QJsonObject keeps its members sorted by key. Bodies and stored records
// whose members must appear in a given order are written with this instead.
namespace tovalit::json {

class OrderedObjectWriter {
public:
    OrderedObjectWriter &add(QStringView key, const QJsonValue &value);
    // "{...}" without white space, members in the order they were added.
    QByteArray compact() const;

private:
    QByteArray m_members;
};

// The compact JSON text of one value ("\"a\"", "12", "{...}").
QByteArray compactValue(const QJsonValue &value);

} // namespace tovalit::json
