#include "platform/linux/property_list_reader.h"

#include "support/iso8601.h"

#include <QXmlStreamReader>

namespace tovalit {

namespace {

// Nesting deeper than this is not a configuration file; refusing it keeps
// a hostile file from exhausting the stack.
constexpr int maximumDepth = 64;

class Reader {
public:
    explicit Reader(const QByteArray &bytes)
        : m_xml(bytes) {}

    std::optional<QVariant> document() {
        if (!nextElement() || m_xml.name() != u"plist")
            return std::nullopt;
        if (!nextElement())
            return std::nullopt;
        auto value = readValue(0);
        if (!value)
            return std::nullopt;
        // Nothing but the end of <plist> may follow.
        while (!m_xml.atEnd()) {
            m_xml.readNext();
            if (m_xml.isStartElement())
                return std::nullopt;
        }
        if (m_xml.hasError())
            return std::nullopt;
        return value;
    }

private:
    // Moves to the next start element; false at an end element or the end.
    bool nextElement() {
        while (!m_xml.atEnd()) {
            m_xml.readNext();
            if (m_xml.isStartElement())
                return true;
            if (m_xml.isEndElement())
                return false;
        }
        return false;
    }

    std::optional<QString> text() {
        const QString value = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError())
            return std::nullopt;
        return value;
    }

    std::optional<QVariant> readValue(int depth) {
        if (depth > maximumDepth)
            return std::nullopt;
        const QStringView name = m_xml.name();
        if (name == u"dict")
            return readDictionary(depth);
        if (name == u"array")
            return readArray(depth);
        if (name == u"true" || name == u"false") {
            const bool value = name == u"true";
            const auto rest = text();
            if (!rest || !rest->isEmpty())
                return std::nullopt;
            return QVariant(value);
        }
        const QString kind = name.toString();
        const auto content = text();
        if (!content)
            return std::nullopt;
        if (kind == u"string")
            return QVariant(*content);
        if (kind == u"integer") {
            bool ok = false;
            const qint64 value = content->trimmed().toLongLong(&ok);
            return ok ? std::optional<QVariant>(QVariant(value)) : std::nullopt;
        }
        if (kind == u"real") {
            bool ok = false;
            const double value = content->trimmed().toDouble(&ok);
            return ok ? std::optional<QVariant>(QVariant(value)) : std::nullopt;
        }
        if (kind == u"date") {
            const auto date = iso8601::parseStrict(content->trimmed());
            return date ? std::optional<QVariant>(QVariant(*date)) : std::nullopt;
        }
        if (kind == u"data") {
            const auto decoded = QByteArray::fromBase64Encoding(
                content->toLatin1().simplified().replace(' ', QByteArray()),
                QByteArray::AbortOnBase64DecodingErrors);
            return decoded ? std::optional<QVariant>(QVariant(*decoded)) : std::nullopt;
        }
        return std::nullopt;
    }

    std::optional<QVariant> readDictionary(int depth) {
        QVariantMap map;
        while (nextElement()) {
            if (m_xml.name() != u"key")
                return std::nullopt;
            const auto key = text();
            if (!key || !nextElement())
                return std::nullopt;
            auto value = readValue(depth + 1);
            if (!value)
                return std::nullopt;
            map.insert(*key, std::move(*value));
        }
        if (m_xml.hasError())
            return std::nullopt;
        return QVariant(map);
    }

    std::optional<QVariant> readArray(int depth) {
        QVariantList list;
        while (nextElement()) {
            auto value = readValue(depth + 1);
            if (!value)
                return std::nullopt;
            list.append(std::move(*value));
        }
        if (m_xml.hasError())
            return std::nullopt;
        return QVariant(list);
    }

    QXmlStreamReader m_xml;
};

} // namespace

std::optional<QVariant> readXmlPropertyList(const QByteArray &bytes) {
    return Reader(bytes).document();
}

} // namespace tovalit
