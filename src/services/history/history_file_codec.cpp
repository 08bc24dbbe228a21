#include "services/history/history_file_codec.h"

#include "support/iso8601.h"
#include "support/json_text.h"

#include <QLocale>
#include <QtConcurrent/QtConcurrentMap>

#include <cmath>
#include <cstdio>
#include <vector>

namespace tovalit {

namespace {

void appendJsonString(QByteArray &out, const QString &text) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    const char *run = utf8.constData();
    const char *const end = run + utf8.size();
    for (const char *c = run; c != end; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte >= 0x20 && byte != '"' && byte != '\\')
            continue;
        out.append(run, c - run);
        run = c + 1;
        switch (byte) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
    }
    out.append(run, end - run);
    out += '"';
}

// "2026-03-07T01:05:01Z", as iso8601::formatUtcSeconds writes it, without
// the cost of a formatted QDateTime::toString per record.
void appendUtcSeconds(QByteArray &out, const QDateTime &time) {
    const qint64 milliseconds = time.toMSecsSinceEpoch();
    const qint64 seconds = milliseconds >= 0 ? milliseconds / 1000 : (milliseconds - 999) / 1000;
    qint64 days = seconds / 86400;
    qint64 secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    const QDate date = QDate(1970, 1, 1).addDays(days);
    if (!date.isValid() || date.year() < 0 || date.year() > 9999) {
        appendJsonString(out, iso8601::formatUtcSeconds(time));
        return;
    }
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "\"%04d-%02d-%02dT%02d:%02d:%02dZ\"", date.year(),
                  date.month(), date.day(), int(secondOfDay / 3600), int(secondOfDay / 60 % 60),
                  int(secondOfDay % 60));
    out += buffer;
}

void appendJsonNumber(QByteArray &out, double value) {
    // A duration that is not a number would be written as null, which no
    // later load accepts: the whole history would become unreadable.
    if (!std::isfinite(value))
        value = 0;
    if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0)
        out += QByteArray::number(static_cast<qint64>(value));
    else
        out += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

void appendRecordJson(QByteArray &out, const TranscriptRecord &record) {
    bool first = true;
    const auto key = [&](const char *name) {
        out += first ? "        \"" : ",\n        \"";
        first = false;
        out += name;
        out += "\": ";
    };
    const auto optionalString = [&](const char *name, const std::optional<QString> &value) {
        if (value) {
            key(name);
            appendJsonString(out, *value);
        }
    };
    out += "    {\n";
    optionalString("audioFileName", record.audioFileName);
    key("createdAt");
    appendUtcSeconds(out, record.createdAt);
    key("duration");
    appendJsonNumber(out, record.duration);
    key("id");
    out += '"';
    out += record.id.toByteArray(QUuid::WithoutBraces).toUpper();
    out += '"';
    optionalString("note", record.note);
    optionalString("rawTranscript", record.rawTranscript);
    key("status");
    appendJsonString(out, rawValue(record.status));
    key("transcript");
    appendJsonString(out, record.transcript);
    optionalString("transcriptFileName", record.transcriptFileName);
    out += "\n    }";
}

// The history file, laid out as QJsonDocument's indented form (keys
// sorted, four-space indent) but written straight from the records, in
// parallel chunks: ten thousand records take milliseconds, not a hundred.
QByteArray historyJson(const QList<TranscriptRecord> &records) {
    constexpr qsizetype chunkSize = 512;
    std::vector<QByteArray> chunks((records.size() + chunkSize - 1) / chunkSize);
    QtConcurrent::blockingMap(chunks, [&](QByteArray &chunk) {
        const qsizetype first = (&chunk - chunks.data()) * chunkSize;
        const qsizetype last = std::min(first + chunkSize, records.size());
        chunk.reserve((last - first) * 1400);
        for (qsizetype i = first; i < last; ++i) {
            if (i != first)
                chunk += ",\n";
            appendRecordJson(chunk, records[i]);
        }
    });
    QByteArray out;
    qsizetype total = 4;
    for (const QByteArray &chunk : chunks)
        total += chunk.size() + 2;
    out.reserve(total);
    out += "[\n";
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        if (i != 0)
            out += ",\n";
        out += chunks[i];
    }
    out += records.isEmpty() ? "]\n" : "\n]\n";
    return out;
}

bool isJsonSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The byte ranges of the elements of a JSON array whose elements are all
// objects, found by matching braces outside strings; each range is then
// parsed on its own. Nothing when the text is not shaped like that (the
// caller falls back to the general parser).
std::optional<std::vector<std::pair<qsizetype, qsizetype>>>
objectElementRanges(QByteArrayView text) {
    std::vector<std::pair<qsizetype, qsizetype>> ranges;
    qsizetype i = 0;
    const qsizetype size = text.size();
    const auto skipSpace = [&] {
        while (i < size && isJsonSpace(text[i]))
            ++i;
    };
    skipSpace();
    if (i == size || text[i] != '[')
        return std::nullopt;
    ++i;
    skipSpace();
    if (i < size && text[i] == ']') {
        ++i;
        skipSpace();
        return i == size ? std::optional(ranges) : std::nullopt;
    }
    for (;;) {
        skipSpace();
        if (i == size || text[i] != '{')
            return std::nullopt;
        const qsizetype start = i;
        int depth = 0;
        bool inString = false;
        for (; i < size; ++i) {
            const char c = text[i];
            if (inString) {
                if (c == '\\')
                    ++i;
                else if (c == '"')
                    inString = false;
            } else if (c == '"') {
                inString = true;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (--depth == 0)
                    break;
            }
        }
        if (i >= size)
            return std::nullopt;
        ranges.emplace_back(start, ++i);
        skipSpace();
        if (i == size)
            return std::nullopt;
        if (text[i] == ',') {
            ++i;
            continue;
        }
        if (text[i] != ']')
            return std::nullopt;
        ++i;
        skipSpace();
        return i == size ? std::optional(ranges) : std::nullopt;
    }
}

} // namespace

QByteArray HistoryFileCodec::encode(const QList<TranscriptRecord> &records) {
    return historyJson(records);
}

HistoryFileCodec::Decoded HistoryFileCodec::decode(const QByteArray &text) {
    const auto ranges = objectElementRanges(text);
    if (!ranges) {
        // Not shaped as the store writes it: the general parser decides.
        const auto array = json::parseArray(text);
        if (!array)
            return {{}, QStringLiteral("不是 JSON 数组")};
        QList<TranscriptRecord> records;
        for (qsizetype i = 0; i < array->size(); ++i) {
            const QJsonValue element = array->at(i);
            const auto record =
                element.isObject() ? TranscriptRecord::fromJson(element.toObject()) : std::nullopt;
            if (!record)
                return {{}, QStringLiteral("第 %1 条记录无法解析").arg(i + 1)};
            records.append(*record);
        }
        return {records, {}};
    }
    // Parsing and decoding each record is spread over the cores: a long
    // history holds ten thousand of them.
    struct Element {
        std::pair<qsizetype, qsizetype> range;
        std::optional<TranscriptRecord> record;
    };
    std::vector<Element> elements;
    elements.reserve(ranges->size());
    for (const auto &range : *ranges)
        elements.push_back({range, std::nullopt});
    QtConcurrent::blockingMap(elements, [&text](Element &element) {
        const auto object = json::parseObject(QByteArrayView(text).sliced(
            element.range.first, element.range.second - element.range.first));
        if (object)
            element.record = TranscriptRecord::fromJson(*object);
    });
    QList<TranscriptRecord> records;
    records.reserve(qsizetype(elements.size()));
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!elements[i].record)
            return {{}, QStringLiteral("第 %1 条记录无法解析").arg(i + 1)};
        records.append(std::move(*elements[i].record));
    }
    return {records, {}};
}

} // namespace tovalit
