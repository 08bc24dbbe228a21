#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace tovalit {

// The text of a preferences file in the INI dialect of Qt's QSettings
// (keys without a group under "[General]", "%XX" key escapes, quoted and
// backslash-escaped values, comma lists, "@ByteArray(...)" data), read the
// way QSettings reads it, so that files written by earlier versions and
// edited by hand keep their meaning. Setting a key rewrites only that
// entry: every other entry keeps its exact text, values of kinds this
// class does not decode included. Comments are dropped, as QSettings does.
//
// It exists because QSettings cannot be trusted to write: on a full disk
// it replaces the file with a truncated one and reports success.
class IniDocument {
public:
    static IniDocument parse(const QByteArray &text);
    QByteArray toBytes() const;

    // A text, data, a list (QStringList) or, for a kind this class keeps
    // only as text ("@Variant(...)", "@Rect(...)" ...), an invalid QVariant.
    // Nothing when the key is missing.
    std::optional<QVariant> value(const QString &key) const;
    bool contains(const QString &key) const;
    void setString(const QString &key, const QString &value);
    void setData(const QString &key, const QByteArray &value);
    void remove(const QString &key);

    // The INI text of a key and of a value, as QSettings writes them.
    static QByteArray escapedKey(const QString &key);
    static QByteArray escapedString(const QString &value);
    static QByteArray escapedData(const QByteArray &value);

private:
    struct Entry {
        QString key; // with its group: "group/name"
        QByteArray keyText;
        QByteArray valueText;
    };
    struct Section {
        QString group; // empty for the keys without a group
        QByteArray header;
        QList<Entry> entries;
    };

    const Entry *find(const QString &key) const;
    void set(const QString &key, const QByteArray &valueText);

    QList<Section> m_sections;
};

} // namespace tovalit
