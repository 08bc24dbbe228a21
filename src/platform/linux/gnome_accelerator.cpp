#include "platform/linux/gnome_accelerator.h"

#include <QStringList>

#include <algorithm>
#include <utility>
#include <xkbcommon/xkbcommon.h>

namespace tovalit {

namespace {

// GNOME's modifier names, with the spellings its parsers also take, in
// the words of the card.
constexpr std::pair<const char *, const char *> modifierWords[] = {
    {"control", "Ctrl"}, {"ctrl", "Ctrl"},  {"ctl", "Ctrl"},    {"primary", "Ctrl"},
    {"alt", "Alt"},      {"mod1", "Alt"},   {"shift", "Shift"}, {"shft", "Shift"},
    {"super", "Super"},  {"mod4", "Super"}, {"meta", "Meta"},   {"hyper", "Hyper"},
};

// Keys that type nothing, in the words the card shows a recorded
// combination in; the rest keep their keysym names ("F9", "Home").
constexpr std::pair<xkb_keysym_t, const char *> keyWords[] = {
    {XKB_KEY_space, "Space"}, {XKB_KEY_Return, "Return"},
    {XKB_KEY_Tab, "Tab"},     {XKB_KEY_BackSpace, "Backspace"},
    {XKB_KEY_Escape, "Esc"},  {XKB_KEY_Left, "←"},
    {XKB_KEY_Right, "→"},     {XKB_KEY_Down, "↓"},
    {XKB_KEY_Up, "↑"},
};

QString keyWord(const QString &name) {
    const xkb_keysym_t keysym =
        xkb_keysym_from_name(name.toUtf8().constData(), XKB_KEYSYM_CASE_INSENSITIVE);
    if (keysym == XKB_KEY_NoSymbol)
        return {};
    for (const auto &[known, word] : keyWords) {
        if (known == keysym)
            return QString::fromUtf8(word);
    }
    // The keypad's keys type what the main block's do; their names tell
    // them apart.
    const uint32_t character = xkb_keysym_to_utf32(keysym);
    if (character > 0x20 && character != 0x7F && !name.startsWith(QLatin1String("KP_")))
        return QString::fromUcs4(reinterpret_cast<const char32_t *>(&character), 1).toUpper();
    char canonical[64];
    if (xkb_keysym_get_name(keysym, canonical, sizeof canonical) <= 0)
        return {};
    return QString::fromLatin1(canonical);
}

} // namespace

QString gnomeAccelerator(const QString &trigger) {
    static const std::pair<QString, QString> modifiers[] = {
        {QStringLiteral("CTRL"), QStringLiteral("<Control>")},
        {QStringLiteral("ALT"), QStringLiteral("<Alt>")},
        {QStringLiteral("SHIFT"), QStringLiteral("<Shift>")},
        {QStringLiteral("LOGO"), QStringLiteral("<Super>")},
    };
    // Keysym names never hold "+" ("plus" is the key), so it only joins.
    const QStringList parts = trigger.split(u'+');
    const QString key = parts.last();
    if (key.isEmpty())
        return {};
    QString accelerator;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        QString written;
        for (const auto &[word, bracketed] : modifiers) {
            if (parts[i] == word)
                written = bracketed;
        }
        if (written.isEmpty())
            return {};
        accelerator += written;
    }
    return accelerator + key;
}

QString gnomeAcceleratorLabel(const QString &accelerator) {
    const QString text = accelerator.trimmed();
    if (text.isEmpty() || text.compare(QLatin1String("disabled"), Qt::CaseInsensitive) == 0)
        return {};
    QStringList words;
    qsizetype at = 0;
    while (at < text.size() && text[at] == u'<') {
        const qsizetype end = text.indexOf(u'>', at);
        if (end < 0)
            return text;
        const QString name = text.mid(at + 1, end - at - 1).toLower();
        QString word;
        for (const auto &[known, shown] : modifierWords) {
            if (name == QLatin1String(known))
                word = QString::fromLatin1(shown);
        }
        if (word.isEmpty())
            return text;
        if (!words.contains(word))
            words << word;
        at = end + 1;
    }
    const QString key = keyWord(text.mid(at));
    if (key.isEmpty())
        return text;
    // The card's order, whatever order GNOME wrote them in.
    static const QStringList order{QStringLiteral("Ctrl"),  QStringLiteral("Alt"),
                                   QStringLiteral("Shift"), QStringLiteral("Super"),
                                   QStringLiteral("Meta"),  QStringLiteral("Hyper")};
    std::sort(words.begin(), words.end(), [&](const QString &a, const QString &b) {
        return order.indexOf(a) < order.indexOf(b);
    });
    words << key;
    return words.join(u'+');
}

} // namespace tovalit
