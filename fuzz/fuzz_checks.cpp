#include "fuzz_checks.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QVariantList>
#include <QVariantMap>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tovalit::fuzz {

void fail(const char *what, const char *where, const QString &detail) {
    std::fprintf(stderr, "fuzz check failed: %s (%s)\n", what, where);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

bool isValidUtf16(QStringView text) {
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit)) {
            if (i + 1 >= size || !QChar::isLowSurrogate(text[i + 1].unicode()))
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(unit)) {
            return false;
        }
    }
    return true;
}

void requireValidUtf16(QStringView text, const char *what) {
    if (!isValidUtf16(text)) {
        QString units;
        for (const QChar c : text.left(64))
            units += QString::number(c.unicode(), 16) + u' ';
        fail("text is valid UTF-16", what, units);
    }
}

void requireValidUtf16(const QString &text, const char *what) {
    requireValidUtf16(QStringView(text), what);
}

void requireValidUtf16(const std::optional<QString> &text, const char *what) {
    if (text)
        requireValidUtf16(QStringView(*text), what);
}

void requireValidUtf16(const QStringList &texts, const char *what) {
    for (const QString &text : texts)
        requireValidUtf16(QStringView(text), what);
}

void requireValidUtf16(const QJsonValue &value, const char *what) {
    if (value.isString()) {
        requireValidUtf16(value.toString(), what);
    } else if (value.isArray()) {
        for (const QJsonValue &element : value.toArray())
            requireValidUtf16(element, what);
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            requireValidUtf16(it.key(), what);
            requireValidUtf16(it.value(), what);
        }
    }
}

void requireValidUtf16(const QVariant &value, const char *what) {
    switch (value.typeId()) {
    case QMetaType::QString:
        requireValidUtf16(value.toString(), what);
        break;
    case QMetaType::QVariantList:
        for (const QVariant &element : value.toList())
            requireValidUtf16(element, what);
        break;
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            requireValidUtf16(it.key(), what);
            requireValidUtf16(it.value(), what);
        }
        break;
    }
    default:
        break;
    }
}

QByteArray bytes(const uint8_t *data, size_t size) {
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

void ensureCoreApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "tovalit-fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

QString scratchFolder() {
    static const std::unique_ptr<QTemporaryDir> folder = [] {
        auto made = std::make_unique<QTemporaryDir>();
        if (!made->isValid())
            fail("a scratch folder can be made", "scratchFolder");
        return made;
    }();
    return folder->path();
}

} // namespace tovalit::fuzz
