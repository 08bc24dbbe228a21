#pragma once

// Readable gtest failure messages for Qt values (instead of byte dumps).
// Include before the tests that compare them.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <ostream>

inline void PrintTo(const QString &value, std::ostream *out) {
    *out << '"' << value.toStdString() << '"';
}

inline void PrintTo(const QByteArray &value, std::ostream *out) {
    *out << '"' << value.toStdString() << '"';
}

inline void PrintTo(const QStringList &value, std::ostream *out) {
    *out << '{';
    for (qsizetype i = 0; i < value.size(); ++i)
        *out << (i ? ", " : "") << '"' << value[i].toStdString() << '"';
    *out << '}';
}

inline void PrintTo(const QUrl &value, std::ostream *out) {
    *out << value.toString().toStdString();
}

inline void PrintTo(const QDateTime &value, std::ostream *out) {
    *out << value.toUTC().toString(Qt::ISODateWithMs).toStdString();
}

inline void PrintTo(const QUuid &value, std::ostream *out) {
    *out << value.toString(QUuid::WithoutBraces).toStdString();
}
