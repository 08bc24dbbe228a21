#include "platform/linux/ini_document.h"

#include "support/textkit.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace tovalit {

// The rules below follow QSettings' own reader and writer (qsettings.cpp)
// step by step, so that both read every file the same way.

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isSpecial(char c) {
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

int hexValue(char32_t c) {
    if (c >= '0' && c <= '9')
        return int(c - '0');
    if (c >= 'a' && c <= 'f')
        return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return int(c - 'A' + 10);
    return -1;
}

int octValue(char c) {
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

bool isAsciiLetterOrNumber(char16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// One logical line from `pos`: quoted text and backslash-escaped line
// breaks continue it, a ';' outside quotes ends it (a line starting with
// one is a comment). False when no line is left.
bool readLine(const QByteArray &data, qsizetype &pos, qsizetype &lineStart, qsizetype &lineLen,
              qsizetype &equalsPos) {
    const qsizetype size = data.size();
    bool inQuotes = false;
    equalsPos = -1;
    lineStart = pos;
    while (lineStart < size && isSpace(data.at(lineStart)))
        ++lineStart;

    qsizetype i = lineStart;
    while (i < size) {
        char ch = data.at(i);
        while (!isSpecial(ch)) {
            if (++i == size)
                goto done;
            ch = data.at(i);
        }
        ++i;
        if (ch == '=') {
            if (!inQuotes && equalsPos == -1)
                equalsPos = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == lineStart + 1) {
                ++lineStart;
            } else if (!inQuotes) {
                --i;
                goto done;
            }
        } else if (ch == '\\') {
            if (i < size) {
                const char escaped = data.at(i++);
                if (i < size) {
                    const char next = data.at(i);
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else { // ';'
            if (i == lineStart + 1) {
                while (i < size && data.at(i) != '\n' && data.at(i) != '\r')
                    ++i;
                while (i < size && isSpace(data.at(i)))
                    ++i;
                lineStart = i;
            } else if (!inQuotes) {
                --i;
                goto done;
            }
        }
    }
done:
    pos = i;
    lineLen = i - lineStart;
    return lineLen > 0;
}

QString unescapedKey(const QByteArray &text) {
    const QString decoded = QString::fromUtf8(text);
    const qsizetype size = decoded.size();
    QString result;
    result.reserve(size);
    qsizetype i = 0;
    while (i < size) {
        const char16_t ch = decoded.at(i).unicode();
        if (ch == '\\') {
            result += u'/';
            ++i;
            continue;
        }
        if (ch != '%' || i == size - 1) {
            result += QChar(ch);
            ++i;
            continue;
        }
        int digits = 2;
        qsizetype first = i + 1;
        if (decoded.at(i + 1) == u'U') {
            ++first;
            digits = 4;
        }
        if (first + digits > size) {
            result += u'%';
            ++i;
            continue;
        }
        bool ok = false;
        const ushort code = QStringView(decoded).sliced(first, digits).toUShort(&ok, 16);
        if (!ok) {
            result += u'%';
            ++i;
            continue;
        }
        result += QChar(code);
        i = first + digits;
    }
    return textkit::withPairedSurrogates(std::move(result));
}

void chopTrailingSpaces(QString &text, qsizetype limit) {
    qsizetype n = text.size();
    while (n > limit && (text.at(n - 1) == u' ' || text.at(n - 1) == u'\t'))
        --n;
    text.truncate(n);
}

// A value's text: one string, or a list when it holds an unquoted comma.
QVariant unescapedValue(QByteArrayView text) {
    static constexpr char escapes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                          {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                          {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    QString current;
    QStringList list;
    bool isList = false;
    bool inQuotes = false;
    bool quoted = false;
    // A value ending inside an escape keeps its trailing blanks.
    bool endedInEscape = false;
    qsizetype i = 0;
    QStringDecoder fromUtf8(QStringDecoder::Utf8);

    const auto skipSpaces = [&] {
        while (i < text.size() && (text.at(i) == ' ' || text.at(i) == '\t'))
            ++i;
    };
    skipSpaces();
    qsizetype chopLimit = current.size();
    while (i < text.size()) {
        const char ch = text.at(i);
        if (ch == '\\') {
            ++i;
            if (i >= text.size()) {
                endedInEscape = true;
                break;
            }
            const char code = text.at(i++);
            bool named = false;
            for (const auto &escape : escapes) {
                if (code == escape[0]) {
                    current += QLatin1Char(escape[1]);
                    named = true;
                    break;
                }
            }
            if (named) {
                chopLimit = current.size();
                continue;
            }
            if (code == 'x') {
                if (i >= text.size()) {
                    endedInEscape = true;
                    break;
                }
                if (hexValue(uchar(text.at(i))) >= 0) {
                    char32_t value = 0;
                    while (i < text.size() && hexValue(uchar(text.at(i))) >= 0)
                        value = (value << 4) + char32_t(hexValue(uchar(text.at(i++))));
                    current += QChar(char16_t(value));
                    chopLimit = current.size();
                    continue;
                }
            } else if (const int first = octValue(code); first != -1) {
                char32_t value = char32_t(first);
                while (i < text.size() && octValue(text.at(i)) != -1)
                    value = (value << 3) + char32_t(octValue(text.at(i++)));
                current += QChar(char16_t(value));
                chopLimit = current.size();
                continue;
            } else if (code == '\n' || code == '\r') {
                if (i < text.size()) {
                    const char next = text.at(i);
                    if ((next == '\n' || next == '\r') && next != code)
                        ++i;
                }
            }
            chopLimit = current.size();
        } else if (ch == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipSpaces();
                chopLimit = current.size();
            }
        } else if (ch == ',' && !inQuotes) {
            if (!quoted)
                chopTrailingSpaces(current, chopLimit);
            isList = true;
            list.append(textkit::withPairedSurrogates(current));
            current.clear();
            quoted = false;
            ++i;
            skipSpaces();
            chopLimit = 0;
        } else {
            qsizetype j = i + 1;
            while (j < text.size() && text.at(j) != '\\' && text.at(j) != '"' && text.at(j) != ',')
                ++j;
            current += fromUtf8(text.sliced(i, j - i));
            i = j;
        }
    }
    if (!quoted && !endedInEscape)
        chopTrailingSpaces(current, chopLimit);
    if (isList) {
        list.append(textkit::withPairedSurrogates(current));
        return list;
    }
    return textkit::withPairedSurrogates(current);
}

// "@ByteArray(...)" and the other typed forms; kinds kept only as text
// read as an invalid QVariant.
QVariant typedValue(const QString &text) {
    if (text.startsWith(u'@')) {
        if (text.endsWith(u')')) {
            if (text.startsWith(QLatin1StringView("@ByteArray(")))
                return QStringView(text).sliced(11).chopped(1).toLatin1();
            if (text.startsWith(QLatin1StringView("@String(")))
                return QStringView(text).sliced(8).chopped(1).toString();
            for (const char *prefix : {"@Variant(", "@DateTime(", "@Rect(", "@Size(", "@Point("}) {
                if (text.startsWith(QLatin1StringView(prefix)))
                    return QVariant();
            }
            if (text == u"@Invalid()")
                return QVariant();
        }
        if (text.startsWith(QLatin1StringView("@@")))
            return text.sliced(1);
    }
    return text;
}

void appendEscaped(const QString &text, QByteArray &result) {
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    const bool useCodec = !(text.startsWith(QLatin1StringView("@ByteArray(")) ||
                            text.startsWith(QLatin1StringView("@Variant(")) ||
                            text.startsWith(QLatin1StringView("@DateTime(")));
    const qsizetype start = result.size();
    QStringEncoder toUtf8(QStringEncoder::Utf8);
    for (const QChar qch : text) {
        const uint ch = qch.unicode();
        if (ch == ';' || ch == ',' || ch == '=')
            needsQuotes = true;
        if (escapeNextIfDigit && hexValue(ch) >= 0) {
            result += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeNextIfDigit = false;
        switch (ch) {
        case '\0':
            result += "\\0";
            escapeNextIfDigit = true;
            break;
        case '\a':
            result += "\\a";
            break;
        case '\b':
            result += "\\b";
            break;
        case '\f':
            result += "\\f";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        case '\v':
            result += "\\v";
            break;
        case '"':
        case '\\':
            result += '\\';
            result += char(ch);
            break;
        default:
            if (ch <= 0x1F || (ch >= 0x7F && !useCodec)) {
                result += "\\x" + QByteArray::number(ch, 16);
                escapeNextIfDigit = true;
            } else if (useCodec) {
                result += QByteArray(toUtf8(QStringView(&qch, 1)));
            } else {
                result += char(ch);
            }
        }
    }
    if (needsQuotes || (start < result.size() &&
                        (result.at(start) == ' ' || result.at(result.size() - 1) == ' '))) {
        result.insert(start, '"');
        result += '"';
    }
}

} // namespace

IniDocument IniDocument::parse(const QByteArray &text) {
    IniDocument document;
    document.m_sections.append(Section{});
    qsizetype pos = text.startsWith("\xef\xbb\xbf") ? 3 : 0;
    qsizetype lineStart = 0;
    qsizetype lineLen = 0;
    qsizetype equalsPos = -1;
    while (readLine(text, pos, lineStart, lineLen, equalsPos)) {
        // A quote left open (a writer stopped mid-value) runs the line to
        // the end of the file, over the line breaks that end the file: they
        // end the line, not the value, or every save would add one more.
        while (text.at(lineStart + lineLen - 1) == '\n' || text.at(lineStart + lineLen - 1) == '\r')
            --lineLen;
        if (text.at(lineStart) == '[') {
            const qsizetype close = text.indexOf(']', lineStart);
            QByteArray name = close == -1 || close >= lineStart + lineLen
                                  ? text.mid(lineStart + 1, lineLen - 1)
                                  : text.mid(lineStart + 1, close - lineStart - 1);
            name = name.trimmed();
            Section section;
            section.header = '[' + name + ']';
            if (name.compare("general", Qt::CaseInsensitive) == 0)
                section.group.clear();
            else if (name.compare("%general", Qt::CaseInsensitive) == 0)
                section.group = QString::fromLatin1(name.sliced(1));
            else
                section.group = unescapedKey(name);
            document.m_sections.append(section);
            continue;
        }
        if (equalsPos == -1)
            continue;
        qsizetype keyEnd = equalsPos;
        while (keyEnd > lineStart && (text.at(keyEnd - 1) == ' ' || text.at(keyEnd - 1) == '\t'))
            --keyEnd;
        Section &section = document.m_sections.last();
        Entry entry;
        entry.keyText = text.mid(lineStart, keyEnd - lineStart);
        entry.valueText = text.mid(equalsPos + 1, lineStart + lineLen - equalsPos - 1);
        const QString name = unescapedKey(entry.keyText);
        entry.key = section.group.isEmpty() ? name : section.group + u'/' + name;
        section.entries.append(entry);
    }
    return document;
}

QByteArray IniDocument::toBytes() const {
    QByteArray text;
    for (const Section &section : m_sections) {
        if (section.entries.isEmpty())
            continue;
        if (!text.isEmpty())
            text += '\n';
        text += section.group.isEmpty() && section.header.isEmpty() ? QByteArray("[General]")
                                                                    : section.header;
        text += '\n';
        for (const Entry &entry : section.entries)
            text += entry.keyText + '=' + entry.valueText + '\n';
    }
    return text;
}

const IniDocument::Entry *IniDocument::find(const QString &key) const {
    // The last one counts, as in QSettings.
    for (auto section = m_sections.crbegin(); section != m_sections.crend(); ++section) {
        for (auto entry = section->entries.crbegin(); entry != section->entries.crend(); ++entry) {
            if (entry->key == key)
                return &*entry;
        }
    }
    return nullptr;
}

std::optional<QVariant> IniDocument::value(const QString &key) const {
    const Entry *entry = find(key);
    if (!entry)
        return std::nullopt;
    const QVariant text = unescapedValue(entry->valueText);
    if (text.typeId() == QMetaType::QStringList)
        return text;
    return typedValue(text.toString());
}

bool IniDocument::contains(const QString &key) const {
    return find(key) != nullptr;
}

void IniDocument::setString(const QString &key, const QString &value) {
    set(key, escapedString(value));
}

void IniDocument::setData(const QString &key, const QByteArray &value) {
    set(key, escapedData(value));
}

void IniDocument::remove(const QString &key) {
    for (Section &section : m_sections)
        section.entries.removeIf([&key](const Entry &entry) { return entry.key == key; });
}

void IniDocument::set(const QString &key, const QByteArray &valueText) {
    // A key the text holds keeps its place, so that writing the value it
    // has leaves the file as it was, byte for byte.
    for (Section &section : m_sections) {
        const auto found = std::find_if(section.entries.begin(), section.entries.end(),
                                        [&key](const Entry &entry) { return entry.key == key; });
        if (found == section.entries.end())
            continue;
        Entry entry = *found;
        entry.valueText = valueText;
        // The first of the key's lines is the first in the text: the
        // removal of them all leaves the lines before it in place.
        const qsizetype at = found - section.entries.begin();
        remove(key);
        section.entries.insert(at, std::move(entry));
        return;
    }
    const qsizetype slash = key.indexOf(u'/');
    const QString group = slash == -1 ? QString() : key.first(slash);
    const QString name = slash == -1 ? key : key.sliced(slash + 1);
    Section *target = nullptr;
    for (Section &section : m_sections) {
        if (section.group == group)
            target = &section;
    }
    if (!target) {
        Section section;
        section.group = group;
        section.header = group.isEmpty() ? QByteArray() : '[' + escapedKey(group) + ']';
        if (group.isEmpty())
            m_sections.prepend(section);
        else
            m_sections.append(section);
        target = group.isEmpty() ? &m_sections.first() : &m_sections.last();
    }
    target->entries.append(Entry{key, escapedKey(name), valueText});
}

QByteArray IniDocument::escapedKey(const QString &key) {
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    QByteArray result;
    result.reserve(key.size() * 3 / 2);
    for (const QChar qch : key) {
        uint ch = qch.unicode();
        if (ch == '/') {
            result += '\\';
        } else if (isAsciiLetterOrNumber(char16_t(ch)) || ch == '_' || ch == '-' || ch == '.') {
            result += char(ch);
        } else if (ch <= 0xFF) {
            result += '%';
            result += hexDigits[ch / 16];
            result += hexDigits[ch % 16];
        } else {
            result += "%U";
            char digits[4];
            for (int j = 3; j >= 0; --j, ch >>= 4)
                digits[j] = hexDigits[ch % 16];
            result += QByteArrayView(digits, 4);
        }
    }
    return result;
}

QByteArray IniDocument::escapedString(const QString &value) {
    QString text = value;
    if (text.contains(QChar::Null))
        text = QStringLiteral("@String(") + text + u')';
    else if (text.startsWith(u'@'))
        text.prepend(u'@');
    QByteArray result;
    appendEscaped(text, result);
    return result;
}

QByteArray IniDocument::escapedData(const QByteArray &value) {
    QByteArray result;
    appendEscaped(QStringLiteral("@ByteArray(") + QString::fromLatin1(value) + u')', result);
    return result;
}

} // namespace tovalit
