#include "platform/linux/clipboard_form_choice.h"

#include <algorithm>

namespace tovalit {

namespace {

// Names that describe the selection rather than hold its content.
bool isMetaTarget(const QString &name) {
    static const QStringList meta{
        QStringLiteral("TARGETS"),         QStringLiteral("MULTIPLE"),
        QStringLiteral("TIMESTAMP"),       QStringLiteral("SAVE_TARGETS"),
        QStringLiteral("DELETE"),          QStringLiteral("INSERT_SELECTION"),
        QStringLiteral("INSERT_PROPERTY"), QStringLiteral("CLIENT_WINDOW"),
        QStringLiteral("_QT_SELECTION"),   QStringLiteral("application/x-tovalit-pasteboard-write"),
    };
    return meta.contains(name);
}

// The text names in the order we prefer them; each holds the same text.
const QStringList &textTargets() {
    static const QStringList targets{QStringLiteral("UTF8_STRING"),
                                     QStringLiteral("text/plain;charset=utf-8"),
                                     QStringLiteral("text/plain"), QStringLiteral("STRING")};
    return targets;
}

// Qt's own name for an image it encodes on request in every image/ form.
bool isImageForm(const QString &name) {
    return name.startsWith(u"image/") || name == u"application/x-qt-image";
}

bool isTextAlias(const QString &name) {
    return textTargets().contains(name) || name == u"TEXT" || name == u"COMPOUND_TEXT" ||
           name.startsWith(u"text/plain;");
}

} // namespace

QList<ClipboardFormChoice> chooseClipboardForms(const QStringList &offered) {
    QStringList names;
    for (const QString &name : offered) {
        if (!name.isEmpty() && !isMetaTarget(name) && !names.contains(name))
            names.append(name);
    }

    QString text;
    for (const QString &candidate : textTargets()) {
        if (names.contains(candidate)) {
            text = candidate;
            break;
        }
    }
    QString image;
    for (const QString &name : std::as_const(names)) {
        if (name == u"image/png") {
            image = name;
            break;
        }
        if (image.isEmpty() && name.startsWith(u"image/"))
            image = name;
    }

    using Action = ClipboardFormChoice::Action;
    QList<ClipboardFormChoice> choices;
    for (const QString &name : std::as_const(names)) {
        const bool isText = isTextAlias(name);
        const bool isImage = isImageForm(name);
        if (isText && name != text) {
            if (text.isEmpty())
                choices.append(
                    {name, Action::leaveOut, QStringLiteral("text in an encoding not kept")});
            continue;
        }
        if (isImage && name != image) {
            choices.append({name, Action::leaveOut,
                            image.isEmpty() ? QStringLiteral("an image form not kept")
                                            : QStringLiteral("the same image as ") + image});
            continue;
        }
        if (!isText && !isImage && !name.contains(QLatin1Char('/')))
            continue;
        choices.append({name, isText ? Action::readText : Action::read});
    }
    return choices;
}

QByteArray clipboardTextAsUtf8(const QString &name, QByteArray data) {
    return name == u"STRING" ? QString::fromLatin1(data).toUtf8() : std::move(data);
}

QList<PasteboardRepresentation> readClipboardForms(
    const QList<ClipboardFormChoice> &choices, qint64 sizeLimit,
    const std::function<bool()> &expired,
    const std::function<ClipboardTransfer(qsizetype, const ClipboardFormChoice &, qint64)>
        &transfer) {
    using Action = ClipboardFormChoice::Action;
    QList<PasteboardRepresentation> result;
    qint64 budget = sizeLimit;
    bool ownerGone = false;
    for (qsizetype index = 0; index < choices.size(); ++index) {
        const ClipboardFormChoice &choice = choices[index];
        if (choice.action == Action::leaveOut) {
            result.append({choice.name, std::nullopt, choice.reason});
            continue;
        }
        const bool isText = choice.action == Action::readText;
        if (ownerGone || expired()) {
            result.append({choice.name, std::nullopt, QStringLiteral("no time left")});
            continue;
        }
        ClipboardTransfer sent = transfer(index, choice, budget);
        ownerGone = sent.ownerGone;
        if (!sent.data) {
            result.append(
                {isText ? Pasteboard::stringType : choice.name, std::nullopt, sent.failure});
            continue;
        }
        budget -= sent.data->size();
        if (isText)
            result.append({Pasteboard::stringType,
                           clipboardTextAsUtf8(choice.name, std::move(*sent.data)),
                           {}});
        else
            result.append({choice.name, std::move(sent.data), {}});
    }
    return result;
}

} // namespace tovalit
