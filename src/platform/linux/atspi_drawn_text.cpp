#include "platform/linux/atspi_drawn_text.h"

namespace tovalit::atspi {

namespace {

constexpr QChar objectCharacter(u'\uFFFC');

// The text without the line break a paragraph's text ends with.
QString withoutFinalBreak(const QString &text) {
    return text.endsWith(u'\n') ? text.chopped(1) : text;
}

bool markedGenerated(const DrawnTextSigns &signs, const QString &body) {
    if (!signs.firstRun)
        return false;
    const auto &[end, attributes] = *signs.firstRun;
    if (attributes.value(QStringLiteral("auto-generated")) != QStringLiteral("true"))
        return false;
    // The run covers the whole text but its final line break.
    const qint64 finalBreak = signs.text.size() - body.size();
    return end >= signs.nativeLength - finalBreak;
}

bool namedPlaceholder(const DrawnTextSigns &signs, const QString &body) {
    if (signs.attributes.value(QStringLiteral("placeholder-text")) == body)
        return true;
    return signs.attributes.value(QStringLiteral("name-from")) == QStringLiteral("placeholder") &&
           signs.name == body;
}

bool pseudoElementsOnly(const DrawnTextSigns &signs, const QString &body) {
    if (body.count(objectCharacter) != body.size() || !signs.embeddedTags)
        return false;
    const QStringList tags = signs.embeddedTags();
    if (tags.size() != body.size())
        return false;
    for (const QString &tag : tags) {
        if (tag != QStringLiteral("::before") && tag != QStringLiteral("::after"))
            return false;
    }
    return true;
}

// The whole text, bar its final line break, made of children the user
// cannot edit.
bool uneditableChildrenOnly(const DrawnTextSigns &signs, const QString &body) {
    if (body.contains(objectCharacter) || !signs.childTexts)
        return false;
    const auto children = signs.childTexts();
    if (!children || children->isEmpty())
        return false;
    QString drawn;
    qsizetype index = 0;
    for (; index < children->size() && drawn.size() < body.size(); ++index) {
        if (!children->at(index).uneditablePlainText)
            return false;
        drawn += children->at(index).text;
    }
    if (drawn != body)
        return false;
    // What is left is the line break the text ends with, if any.
    QString rest;
    for (; index < children->size(); ++index)
        rest += children->at(index).text;
    return body + rest == signs.text;
}

} // namespace

bool isDrawnHint(const DrawnTextSigns &signs) {
    const QString body = withoutFinalBreak(signs.text);
    if (body.isEmpty() || body.size() > drawnTextLimit)
        return false;
    return markedGenerated(signs, body) || namedPlaceholder(signs, body) ||
           pseudoElementsOnly(signs, body) || uneditableChildrenOnly(signs, body);
}

} // namespace tovalit::atspi
