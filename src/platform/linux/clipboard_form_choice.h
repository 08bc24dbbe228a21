#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

namespace tovalit {

// How much of another application's clipboard a snapshot takes: every
// answer it waits for, the whole read, and the bytes it keeps.
struct ClipboardReadLimits {
    std::chrono::milliseconds answerTimeout{500};
    std::chrono::milliseconds totalTime{2000};
    qint64 sizeLimit = qint64(64) << 20;
};

// What a snapshot does with one form another application offers.
struct ClipboardFormChoice {
    enum class Action {
        // Its bytes are kept under its own name.
        read,
        // The text is kept, as UTF-8, under Pasteboard::stringType.
        readText,
        // Listed without data, for `reason`.
        leaveOut,
    };

    QString name;
    Action action = Action::read;
    QString reason = {};

    bool operator==(const ClipboardFormChoice &) const = default;
};

// The forms of `offered` (the owner's names, in its order) that a restore
// needs to offer the same content again, in that order: one text (the
// desktop re-offers it under every text name), one encoding of an image
// (PNG when offered), and every other MIME form. Names that describe the
// clipboard rather than hold its content (TARGETS, our own write's mark)
// and other names that are not MIME types are not listed.
QList<ClipboardFormChoice> chooseClipboardForms(const QStringList &offered);

// The text of a form chosen with Action::readText, as UTF-8.
QByteArray clipboardTextAsUtf8(const QString &name, QByteArray data);

} // namespace tovalit
