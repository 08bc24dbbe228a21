#pragma once

#include "platform/pasteboard.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

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

// One form as its owner sent it, or why not.
struct ClipboardTransfer {
    std::optional<QByteArray> data;
    QString failure;
    // The owner stopped answering: asking it for more is pointless.
    bool ownerGone = false;
};

// The snapshot of the forms `choices` names, in order: each form not left
// out read by `transfer(index, choice, budget)` (`budget` the bytes still
// kept), its text kept as UTF-8 under Pasteboard::stringType. Once the
// owner stopped answering, or `expired()`, the rest are not asked for.
QList<PasteboardRepresentation> readClipboardForms(
    const QList<ClipboardFormChoice> &choices, qint64 sizeLimit,
    const std::function<bool()> &expired,
    const std::function<ClipboardTransfer(qsizetype, const ClipboardFormChoice &, qint64)>
        &transfer);

} // namespace tovalit
