#include "platform/linux/atspi_element.h"

#include "platform/accessibility_job.h"
#include "platform/cold_read.h"
#include "platform/linux/atspi_drawn_text.h"
#include "platform/linux/atspi_text_offsets.h"

#include <QDBusArgument>

#include <algorithm>
#include <limits>
#include <utility>

namespace tovalit {

namespace {

const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString textInterface = QStringLiteral("org.a11y.atspi.Text");
const QString editableTextInterface = QStringLiteral("org.a11y.atspi.EditableText");
const QString hypertextInterface = QStringLiteral("org.a11y.atspi.Hypertext");

std::optional<AccessibilityValue> textValue(std::optional<QString> text) {
    if (!text)
        return std::nullopt;
    return AccessibilityValue(*text);
}

// A string-to-string dictionary of a reply (text and object attributes).
QHash<QString, QString> stringMap(const QVariant &value) {
    QHash<QString, QString> result;
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return result;
    QMap<QString, QString> map;
    qvariant_cast<QDBusArgument>(value) >> map;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        result.insert(it.key(), it.value());
    return result;
}

} // namespace

AtspiElement::AtspiElement(std::shared_ptr<AtspiBus> bus, Kind kind, AtspiObject object,
                           bool embeddedInEditor)
    : m_bus(std::move(bus))
    , m_kind(kind)
    , m_object(std::move(object))
    , m_embeddedInEditor(embeddedInEditor) {}

QString AtspiElement::identity() const {
    switch (m_kind) {
    case Kind::SystemWide:
        return QStringLiteral("system-wide");
    case Kind::Unreachable:
        return QStringLiteral("unreachable:") + m_object.path;
    case Kind::Object:
    case Kind::Application:
        break;
    }
    return m_object.service + QLatin1Char(' ') + m_object.path;
}

AccessibilityElementRef AtspiElement::element(const AtspiObject &object) const {
    const Kind kind = AtspiBus::isApplicationRoot(object) ? Kind::Application : Kind::Object;
    return std::make_shared<AtspiElement>(m_bus, kind, object);
}

bool AtspiElement::hasInterface(const QString &name) {
    if (!m_interfaces)
        m_interfaces = m_bus->interfaces(m_object);
    return m_interfaces->contains(name);
}

std::optional<AccessibilityValue> AtspiElement::attributeValue(const QString &attribute) {
    if (m_kind == Kind::Unreachable)
        return std::nullopt;
    if (attribute == ax::focusedUIElement || attribute == ax::focusedWindow)
        return focusAttribute(attribute);
    if (m_kind == Kind::SystemWide)
        return std::nullopt;
    if (attribute == ax::value && m_textReadAhead)
        return textValue(userText(std::exchange(m_textReadAhead, std::nullopt)));
    if (attribute == ax::value || attribute == ax::selectedTextRange || attribute == ax::caret ||
        attribute == ax::characterCount || attribute == ax::selectedText ||
        attribute == ax::selectionCount)
        return hasInterface(textInterface) ? textAttribute(attribute) : std::nullopt;
    if (attribute == ax::screenColumns) {
        const std::optional<qint64> columns = screenColumns();
        return columns ? std::optional<AccessibilityValue>(AccessibilityRange{0, *columns})
                       : std::nullopt;
    }
    if (attribute == ax::parent || attribute == ax::children)
        return treeAttribute(attribute);
    if (attribute == ax::pastesOnly)
        return pastesOnly() ? std::optional<AccessibilityValue>(QStringLiteral("true"))
                            : std::nullopt;
    return describingAttribute(attribute);
}

std::optional<AccessibilityValue> AtspiElement::describingAttribute(const QString &attribute) {
    if (attribute == ax::role || attribute == ax::roleDescription) {
        auto reply = m_bus->call(m_object, accessibleInterface,
                                 attribute == ax::role ? QStringLiteral("GetRoleName")
                                                       : QStringLiteral("GetLocalizedRoleName"));
        if (!reply || reply->isEmpty())
            return std::nullopt;
        return AccessibilityValue(reply->first().toString());
    }
    if (attribute == ax::title)
        return textValue(m_bus->stringProperty(m_object, QStringLiteral("Name")));
    if (attribute == ax::description)
        return textValue(m_bus->stringProperty(m_object, QStringLiteral("Description")));
    if (attribute == ax::help)
        return textValue(m_bus->stringProperty(m_object, QStringLiteral("HelpText")));
    if (attribute == ax::placeholderValue || attribute == ax::display) {
        const QString name = attribute == ax::display ? QStringLiteral("display")
                                                      : QStringLiteral("placeholder-text");
        auto attributes = m_bus->attributes(m_object);
        if (!attributes || !attributes->contains(name))
            return std::nullopt;
        return AccessibilityValue(attributes->value(name));
    }
    return std::nullopt;
}

std::optional<AccessibilityValue> AtspiElement::treeAttribute(const QString &attribute) {
    if (attribute == ax::parent) {
        auto parent = m_bus->parent(m_object);
        if (!parent)
            return std::nullopt;
        return AccessibilityValue(element(*parent));
    }
    auto children = m_bus->children(m_object);
    if (!children)
        return std::nullopt;
    QList<AccessibilityElementRef> elements;
    elements.reserve(children->size());
    for (const AtspiObject &child : *children)
        elements.append(element(child));
    return AccessibilityValue(elements);
}

std::optional<AccessibilityValue> AtspiElement::textAttribute(const QString &attribute) {
    if (attribute == ax::value)
        return textValue(userText(m_bus->text(m_object, 0, -1)));
    if (attribute == ax::selectedTextRange || attribute == ax::caret) {
        std::optional<std::pair<qint64, qint64>> offsets;
        if (attribute == ax::caret) {
            if (const auto caret = m_bus->caretOffset(m_object))
                offsets = std::pair{*caret, *caret};
        } else {
            offsets = selectionOffsets();
        }
        // In a field that only shows its hint, the caret stands at its start
        // whichever end of the hint the browser puts it.
        if (offsets && offsets->first >= 0 && drawnHintShown())
            return AccessibilityValue(AccessibilityRange{0, 0});
        const auto range = offsets ? utf16Range(offsets->first, offsets->second) : std::nullopt;
        if (!range)
            return std::nullopt;
        return AccessibilityValue(*range);
    }
    if (attribute == ax::characterCount) {
        const auto count =
            m_bus->property(m_object, textInterface, QStringLiteral("CharacterCount"));
        bool ok = false;
        const qint64 number = count ? count->toLongLong(&ok) : 0;
        if (!ok || number < 0)
            return std::nullopt;
        if (number > 0 && number <= atspi::drawnTextLimit + 1 && drawnHintShown())
            return AccessibilityValue(AccessibilityRange{0, 0});
        return AccessibilityValue(AccessibilityRange{0, number});
    }
    const Selected selection = selected();
    if (attribute == ax::selectionCount) {
        // A range whose UTF-16 offsets cannot be counted yet (Firefox
        // before the page has sent the text up to it) counts as none for
        // now: read again, it tells.
        const bool told =
            selection.range && utf16Range(selection.range->first, selection.range->second);
        return AccessibilityValue(AccessibilityRange{0, selection.unknown || told ? 1 : 0});
    }
    if (selection.unknown)
        return std::nullopt;
    if (!selection.range)
        return AccessibilityValue(QString());
    return textValue(m_bus->text(m_object, selection.range->first, selection.range->second));
}

bool AtspiElement::drawnHintShown() {
    // Only a browser draws hints into a text, and they are short: a long
    // text is never read whole for it.
    if (!hasInterface(hypertextInterface))
        return false;
    const auto count = m_bus->property(m_object, textInterface, QStringLiteral("CharacterCount"));
    const qint64 length = count ? count->toLongLong() : 0;
    if (length <= 0 || length > 2 * (atspi::drawnTextLimit + 1))
        return false;
    const auto text = m_bus->text(m_object, 0, -1);
    return text && drawnHint(*text);
}

std::optional<AccessibilityValue> AtspiElement::focusAttribute(const QString &attribute) {
    const bool wantsWindow = attribute == ax::focusedWindow;
    if (m_kind == Kind::Application) {
        auto found = wantsWindow ? m_bus->activeWindow(m_object.service)
                                 : focusedElementOf(m_object.service);
        if (!found)
            return std::nullopt;
        return AccessibilityValue(element(*found));
    }
    if (m_kind != Kind::SystemWide)
        return std::nullopt;
    // The desktop's focus is that of the application whose window is
    // active.
    for (const AtspiObject &application : m_bus->applications()) {
        auto window = m_bus->activeWindow(application.service);
        if (!window)
            continue;
        if (wantsWindow)
            return AccessibilityValue(element(*window));
        auto focused = focusedElementOf(application.service);
        if (!focused)
            return std::nullopt;
        return AccessibilityValue(element(*focused));
    }
    return std::nullopt;
}

std::optional<AtspiObject> AtspiElement::focusedElementOf(const QString &service) {
    return readUnderRunningJob([this, &service](ColdReadDeadline &deadline) {
        return m_bus->focusedElement(service, deadline);
    });
}

AtspiElement::Selected AtspiElement::selected() {
    if (!m_bus->reportsSelectionConvertedTwice(m_object.service))
        return Selected{m_bus->firstSelection(m_object), false};
    const auto reported = m_bus->reportedSelection(m_object);
    if (!reported)
        return Selected{};
    // Undone, each turn at most doubles an offset: the text up to four
    // times the reported end holds the selection, whether the browser
    // counts that length in code points or in UTF-16 units, and a long
    // field is not read whole on every look at its selection.
    const qint64 enough =
        std::min<qint64>(4 * qint64(reported->second) + 4, std::numeric_limits<qint32>::max());
    const auto text = m_bus->text(m_object, 0, enough);
    if (!text)
        return Selected{std::nullopt, true};
    const auto range =
        atspi::selectionConvertedOnce(*text, *reported, m_bus->caretOffset(m_object));
    if (!range)
        return Selected{std::nullopt, true};
    return Selected{std::pair<qint64, qint64>{range->first, range->second}, false};
}

std::optional<std::pair<qint64, qint64>> AtspiElement::selectionOffsets() {
    const Selected selection = selected();
    if (selection.unknown)
        return std::nullopt;
    if (selection.range)
        return selection.range;
    auto caret = m_bus->caretOffset(m_object);
    if (!caret)
        return std::nullopt;
    return std::pair{*caret, *caret};
}

std::optional<AccessibilityRange> AtspiElement::utf16Range(qint64 start, qint64 end) {
    if (start < 0 || end < start)
        return std::nullopt;
    if (m_bus->countsUtf16(m_object.service))
        return AccessibilityRange{start, end - start};
    // Only the text up to the end of the range is needed to count it.
    // Firefox may know the caret already, and not yet the text before it.
    const auto prefix = readUnderRunningJob([this, end](ColdReadDeadline &deadline) {
        return readAgainWhileUnanswered(
            m_bus->text(m_object, 0, end), [this, end] { return m_bus->text(m_object, 0, end); },
            [end](const std::optional<QString> &read) {
                return read && read->isEmpty() && end > 0;
            },
            deadline);
    });
    if (!prefix)
        return std::nullopt;
    const auto from = atspi::utf16OffsetOfCodePoint(*prefix, start);
    const auto to = atspi::utf16OffsetOfCodePoint(*prefix, end);
    if (!from || !to)
        return std::nullopt;
    return AccessibilityRange{*from, *to - *from};
}

std::optional<AtspiElement::NativeRange> AtspiElement::nativeRange(const AccessibilityRange &range,
                                                                   bool clampToText) {
    if (range.location < 0 || range.length < 0 ||
        range.length > std::numeric_limits<qint32>::max() - range.location)
        return std::nullopt;
    qint64 end = range.location + range.length;
    if (m_bus->countsUtf16(m_object.service)) {
        // Offsets are UTF-16 already; the text around them still tells
        // whether they split a character.
        const auto count =
            m_bus->property(m_object, textInterface, QStringLiteral("CharacterCount"));
        if (!count || count->toLongLong() < range.location)
            return std::nullopt;
        if (end > count->toLongLong()) {
            if (!clampToText)
                return std::nullopt;
            end = count->toLongLong();
        }
        auto prefix = m_bus->text(m_object, 0, qMin(end + 1, count->toLongLong()));
        if (!prefix || prefix->size() < end ||
            !atspi::codePointOffsetOfUtf16(*prefix, range.location) ||
            !atspi::codePointOffsetOfUtf16(*prefix, end))
            return std::nullopt;
        return NativeRange{range.location, end, prefix->mid(range.location, end - range.location)};
    }
    // A UTF-16 offset never lies past the code point of the same number,
    // so the text up to code point `end` covers the range.
    auto prefix = m_bus->text(m_object, 0, end);
    if (!prefix)
        return std::nullopt;
    if (prefix->size() < end) {
        if (!clampToText || prefix->size() < range.location)
            return std::nullopt;
        end = prefix->size();
    }
    const auto start = atspi::codePointOffsetOfUtf16(*prefix, range.location);
    const auto stop = atspi::codePointOffsetOfUtf16(*prefix, end);
    if (!start || !stop)
        return std::nullopt;
    return NativeRange{*start, *stop, prefix->mid(range.location, end - range.location)};
}

std::optional<QRectF> AtspiElement::caretBounds(qint64 offset) {
    // An insertion point has no extent of its own; it stands at the left
    // edge of the character after it, or at the right edge of the last
    // character at the end of the text, as tall as that character.
    if (auto after = m_bus->characterExtents(m_object, offset);
        after && after->height() > 0 && (after->width() > 0 || after->x() != 0))
        return QRectF(after->x(), after->y(), 1, after->height());
    if (offset > 0) {
        if (auto before = m_bus->characterExtents(m_object, offset - 1);
            before && before->height() > 0)
            return QRectF(before->x() + before->width(), before->y(), 1, before->height());
    }
    return std::nullopt;
}

bool AtspiElement::countsScreenCells() {
    if (!m_countsScreenCells) {
        if (!hasInterface(textInterface) || !m_bus->terminalsCountCells(m_object.service))
            return false; // the toolkit may be told later
        m_countsScreenCells = accessibilityValueAs<QString>(describingAttribute(ax::role)) ==
                              QStringLiteral("terminal");
    }
    return *m_countsScreenCells;
}

std::optional<qint64> AtspiElement::screenColumns() {
    if (!countsScreenCells())
        return std::nullopt;
    // The screen holds rows × columns cells; the first and the last cell
    // stand on its first and last row. Konsole places its cells relative
    // to its own widget, whatever coordinates are asked for: only the
    // distance between them counts.
    const auto count = m_bus->property(m_object, textInterface, QStringLiteral("CharacterCount"));
    const qint64 cells = count ? count->toLongLong() : 0;
    if (cells <= 0)
        return std::nullopt;
    const auto first = m_bus->characterExtents(m_object, 0);
    const auto last = m_bus->characterExtents(m_object, cells - 1);
    if (!first || !last || first->height() <= 0)
        return std::nullopt;
    const int below = last->y() - first->y();
    if (below < 0 || below % first->height() != 0)
        return std::nullopt;
    const qint64 rows = below / first->height() + 1;
    if (cells % rows != 0)
        return std::nullopt;
    return cells / rows;
}

std::optional<QString> AtspiElement::cellText(const AccessibilityRange &range) {
    if (range.location < 0 || range.length < 0)
        return std::nullopt;
    // A read past the screen's last cell is not one Konsole is safe with.
    const auto count = m_bus->property(m_object, textInterface, QStringLiteral("CharacterCount"));
    const qint64 cells = count ? count->toLongLong() : 0;
    if (range.location > cells)
        return std::nullopt;
    const qint64 end = range.location + std::min(range.length, cells - range.location);
    if (range.location == end)
        return QString();
    // Konsole's read takes in the cell at its end, and ends one that stops
    // short of a row's last written cell with a line break of its own: a
    // range of cells holds the breaks between its rows, never one after.
    auto text = m_bus->text(m_object, range.location, end - 1);
    if (text && text->endsWith(u'\n'))
        text->chop(1);
    return text;
}

std::optional<AccessibilityValue>
AtspiElement::parameterizedAttributeValue(const QString &attribute,
                                          const AccessibilityValue &parameter) {
    if (m_kind != Kind::Object && m_kind != Kind::Application)
        return std::nullopt;
    const auto *range = std::get_if<AccessibilityRange>(&parameter);
    if (range && attribute == ax::embeddedObjectsForRange)
        return embeddedObjects(*range);
    if (!range || !hasInterface(textInterface))
        return std::nullopt;
    if (attribute == ax::stringForRange && countsScreenCells()) {
        auto text = cellText(*range);
        return text ? std::optional<AccessibilityValue>(*text) : std::nullopt;
    }
    // A field that only shows its hint holds no text to read.
    if (attribute == ax::stringForRange && range->location == 0 && drawnHintShown())
        return AccessibilityValue(QString());
    // Reads past the end of the text give what there is, as the bus itself
    // does.
    auto native = nativeRange(*range, true);
    if (!native)
        return std::nullopt;
    if (attribute == ax::stringForRange)
        return AccessibilityValue(native->text);
    if (attribute == ax::boundsForRange) {
        if (native->end > native->start) {
            auto extents = m_bus->rangeExtents(m_object, native->start, native->end);
            if (!extents)
                return std::nullopt;
            return AccessibilityValue(QRectF(*extents));
        }
        auto caret = caretBounds(native->start);
        if (!caret)
            return std::nullopt;
        return AccessibilityValue(*caret);
    }
    return std::nullopt;
}

std::optional<AccessibilityValue> AtspiElement::embeddedObjects(const AccessibilityRange &range) {
    // Each costs the page two calls: only a text the user edits is read
    // through what it embeds, never a whole page.
    if (!hasInterface(hypertextInterface))
        return std::nullopt;
    if (!m_embeddedInEditor && !m_editable)
        m_editable = m_bus->hasState(m_object, AtspiBus::stateEditable);
    if (!m_embeddedInEditor && !*m_editable)
        return std::nullopt;
    auto objects = m_bus->embeddedObjects(m_object, range.location, range.length);
    if (!objects)
        return std::nullopt;
    // Their text is what is read of them next: asked for all at once, it
    // costs the page no more than one of them asked alone.
    const QList<std::optional<QString>> texts = m_bus->texts(*objects);
    QList<AccessibilityElementRef> elements;
    elements.reserve(objects->size());
    for (qsizetype index = 0; index < objects->size(); ++index) {
        auto element =
            std::make_shared<AtspiElement>(m_bus, Kind::Object, objects->at(index), true);
        element->m_textReadAhead = texts.value(index);
        elements.append(std::move(element));
    }
    return AccessibilityValue(elements);
}

bool AtspiElement::embedsObjects() {
    // Whether its links can be read or not, such a text written whole
    // would lose what it embeds, or be ignored.
    if (!hasInterface(hypertextInterface))
        return false;
    const auto text = m_bus->text(m_object, 0, -1);
    return !text || text->contains(QChar(u'\uFFFC'));
}

std::optional<QHash<QString, QString>> AtspiElement::objectAttributes() {
    if (m_attributes)
        return *m_attributes;
    // Firefox answers nothing at first: asked again next time.
    auto attributes = m_bus->attributes(m_object);
    if (attributes && !attributes->isEmpty())
        m_attributes = attributes;
    return attributes;
}

std::optional<QString> AtspiElement::webTag() {
    const auto attributes = objectAttributes();
    if (!attributes || !attributes->contains(QStringLiteral("tag")))
        return std::nullopt;
    return attributes->value(QStringLiteral("tag"));
}

bool AtspiElement::drawnHint(const QString &text) {
    if (text.isEmpty() || text.size() > atspi::drawnTextLimit + 1 ||
        !hasInterface(hypertextInterface))
        return false;
    if (m_drawn && m_drawn->first == text)
        return m_drawn->second;
    atspi::DrawnTextSigns signs;
    signs.text = text;
    signs.nativeLength = text.size();
    // The signs are asked one by one, and only as far as they can tell.
    const auto run =
        m_bus->call(m_object, textInterface, QStringLiteral("GetAttributeRun"), {0, false});
    if (run && run->size() >= 3)
        signs.firstRun = std::pair{run->at(2).toLongLong(), stringMap(run->first())};
    if (signs.firstRun && signs.firstRun->second.contains(QStringLiteral("auto-generated"))) {
        const auto count =
            m_bus->property(m_object, textInterface, QStringLiteral("CharacterCount"));
        if (count)
            signs.nativeLength = count->toLongLong();
    }
    signs.attributes = objectAttributes().value_or(QHash<QString, QString>());
    if (signs.attributes.contains(QStringLiteral("name-from")))
        signs.name = m_bus->stringProperty(m_object, QStringLiteral("Name")).value_or(QString());
    signs.embeddedTags = [this, count = text.count(QChar(u'\uFFFC'))] {
        QStringList tags;
        const auto objects = m_bus->embeddedObjects(m_object, 0, count);
        for (const AtspiObject &object : objects.value_or(QList<AtspiObject>())) {
            const auto attributes = m_bus->attributes(object);
            tags.append(attributes ? attributes->value(QStringLiteral("tag")) : QString());
        }
        return tags;
    };
    signs.childTexts = [this]() -> std::optional<QList<atspi::DrawnTextSigns::ChildText>> {
        const auto children = m_bus->children(m_object);
        if (!children)
            return std::nullopt;
        QList<atspi::DrawnTextSigns::ChildText> texts;
        for (const AtspiObject &child : *children) {
            const auto text = m_bus->text(child, 0, -1);
            if (!text)
                return std::nullopt;
            const auto role =
                m_bus->call(child, accessibleInterface, QStringLiteral("GetRoleName"));
            const bool plain = role && !role->isEmpty() &&
                               role->first().toString() == QStringLiteral("static") &&
                               !m_bus->attributes(child)
                                    .value_or(QHash<QString, QString>())
                                    .contains(QStringLiteral("tag"));
            texts.append({*text, plain && !m_bus->hasState(child, AtspiBus::stateEditable)});
        }
        return texts;
    };
    const bool drawn = atspi::isDrawnHint(signs);
    m_drawn = std::pair{text, drawn};
    return drawn;
}

std::optional<QString> AtspiElement::userText(std::optional<QString> text) {
    if (text && drawnHint(*text))
        return QString();
    return text;
}

bool AtspiElement::takesWholeValue() {
    if (!hasInterface(editableTextInterface))
        return false;
    // A browser's elements have hypertext; of those, only a text field or
    // text area is written whole.
    if (hasInterface(hypertextInterface)) {
        if (const auto tag = webTag()) {
            if (tag->compare(QLatin1String("input"), Qt::CaseInsensitive) != 0 &&
                tag->compare(QLatin1String("textarea"), Qt::CaseInsensitive) != 0)
                return false;
        } else {
            // Firefox names no element at first: its role tells a field.
            const auto role =
                m_bus->call(m_object, accessibleInterface, QStringLiteral("GetRoleName"));
            const QString name = role && !role->isEmpty() ? role->first().toString() : QString();
            if (name != QStringLiteral("entry") && name != QStringLiteral("password text"))
                return false;
        }
    }
    return !embedsObjects();
}

bool AtspiElement::pastesOnly() {
    // Editable, yet its whole text is never written.
    return hasInterface(textInterface) && hasInterface(hypertextInterface) &&
           m_bus->hasState(m_object, AtspiBus::stateEditable) && !takesWholeValue();
}

bool AtspiElement::setAttributeValue(const QString &attribute, const AccessibilityValue &value) {
    if (m_kind != Kind::Object && m_kind != Kind::Application)
        return false;
    if (attribute == ax::value) {
        const auto *text = std::get_if<QString>(&value);
        if (!text || !takesWholeValue())
            return false;
        auto reply = m_bus->call(m_object, editableTextInterface, QStringLiteral("SetTextContents"),
                                 {*text});
        return reply && !reply->isEmpty() && reply->first().toBool();
    }
    if (attribute == ax::selectedTextRange) {
        const auto *range = std::get_if<AccessibilityRange>(&value);
        if (!range || !hasInterface(textInterface))
            return false;
        auto native = nativeRange(*range, false);
        if (!native)
            return false;
        std::optional<QVariantList> reply;
        if (native->end == native->start) {
            reply = m_bus->call(m_object, textInterface, QStringLiteral("SetCaretOffset"),
                                {int(native->start)});
        } else if (m_bus->firstSelection(m_object)) {
            reply = m_bus->call(m_object, textInterface, QStringLiteral("SetSelection"),
                                {0, int(native->start), int(native->end)});
        } else {
            reply = m_bus->call(m_object, textInterface, QStringLiteral("AddSelection"),
                                {int(native->start), int(native->end)});
        }
        return reply && !reply->isEmpty() && reply->first().toBool();
    }
    return false;
}

bool AtspiElement::isAttributeSettable(const QString &attribute) {
    if (m_kind != Kind::Object && m_kind != Kind::Application)
        return false;
    if (attribute == ax::value) {
        // ATK answers a write of a read-only field's text with success and
        // keeps the text: only the field's state tells.
        if (!hasInterface(editableTextInterface))
            return false;
        const auto bits = m_bus->states(m_object);
        return bits && (*bits & (quint64(1) << AtspiBus::stateEditable)) &&
               !(*bits & (quint64(1) << AtspiBus::stateReadOnly)) && takesWholeValue();
    }
    if (attribute == ax::selectedTextRange)
        return hasInterface(textInterface);
    return false;
}

QStringList AtspiElement::attributeNames() {
    if (m_kind == Kind::Unreachable)
        return {};
    QStringList names{ax::focusedUIElement, ax::focusedWindow};
    if (m_kind == Kind::SystemWide)
        return names;
    if (m_kind == Kind::Object)
        names.clear();
    names << ax::role << ax::roleDescription << ax::title << ax::description << ax::parent
          << ax::children;
    if (hasInterface(textInterface))
        names << ax::value << ax::selectedTextRange << ax::selectedText << ax::caret;
    return names;
}

std::optional<qint32> AtspiElement::processIdentifier() {
    if (m_kind != Kind::Object && m_kind != Kind::Application)
        return std::nullopt;
    return m_bus->processIdentifier(m_object.service);
}

} // namespace tovalit
