#pragma once

#include "platform/accessibility_element.h"

#include <QString>

#include <mutex>
#include <optional>
#include <utility>

namespace tovalit::testing {

// A text input of another application, for tests: a value and a
// selection that can be made unreadable, refuse writes, acknowledge writes
// it ignores (as a read-only field on the accessibility bus does) or show
// a write only some reads later, and the application's side of Ctrl+V.
// Safe to use from the accessibility thread and the test at once.
class ScriptedTextField final : public AccessibilityElement {
public:
    ScriptedTextField(QString value, AccessibilityRange selection)
        : m_value(std::move(value))
        , m_selection(selection) {}

    QString identity() const override { return QStringLiteral("scripted-field"); }

    std::optional<AccessibilityValue> attributeValue(const QString &attribute) override {
        std::lock_guard lock(m_mutex);
        if (attribute == ax::value && m_readable) {
            if (m_pendingValue && m_readsUntilShown-- <= 0) {
                m_value = *m_pendingValue;
                m_pendingValue.reset();
                if (m_pendingSelection)
                    m_selection = *std::exchange(m_pendingSelection, std::nullopt);
            }
            return AccessibilityValue(m_value);
        }
        if (attribute == ax::selectedTextRange && m_readable) {
            if (m_pendingSelectionWrite && m_selectionReadsUntilShown-- <= 0)
                m_selection = *std::exchange(m_pendingSelectionWrite, std::nullopt);
            return AccessibilityValue(m_selection);
        }
        if (attribute == ax::roleDescription)
            return AccessibilityValue(QStringLiteral("text"));
        if (attribute == ax::pastesOnly && m_pastesOnly)
            return AccessibilityValue(QStringLiteral("true"));
        return std::nullopt;
    }

    std::optional<AccessibilityValue>
    parameterizedAttributeValue(const QString &, const AccessibilityValue &) override {
        return std::nullopt;
    }

    bool setAttributeValue(const QString &attribute, const AccessibilityValue &value) override {
        std::lock_guard lock(m_mutex);
        if (attribute == ax::value) {
            const auto *text = std::get_if<QString>(&value);
            if (!text)
                return false;
            ++m_valueWriteAttempts;
            if (m_refusedValueWrites > 0) {
                --m_refusedValueWrites;
                return false;
            }
            if (m_ignoresValueWrites || !m_editable)
                return true;
            ++m_valueWrites;
            if (m_lateReads > 0) {
                m_pendingValue = *text;
                m_readsUntilShown = m_lateReads;
                return true;
            }
            m_value = *text;
            m_selection = {qMin<qint64>(m_selection.location, m_value.size()), 0};
            return true;
        }
        if (attribute == ax::selectedTextRange) {
            const auto *range = std::get_if<AccessibilityRange>(&value);
            if (!range || !m_acceptsSelection || range->location + range->length > m_value.size())
                return false;
            if (m_lateSelectionReads > 0) {
                m_pendingSelectionWrite = *range;
                m_selectionReadsUntilShown = m_lateSelectionReads;
                return true;
            }
            m_selection = *range;
            return true;
        }
        return false;
    }

    bool isAttributeSettable(const QString &attribute) override {
        std::lock_guard lock(m_mutex);
        return attribute == ax::selectedTextRange || (attribute == ax::value && m_editable);
    }

    QStringList attributeNames() override { return {ax::value, ax::selectedTextRange}; }
    std::optional<qint32> processIdentifier() override {
        std::lock_guard lock(m_mutex);
        return m_processIdentifier;
    }

    // What an editor does on Ctrl+V: the selection replaced, the caret
    // after the pasted text.
    void paste(const QString &text) {
        std::lock_guard lock(m_mutex);
        m_value.replace(m_selection.location, m_selection.length, text);
        m_selection = {m_selection.location + text.size(), 0};
    }

    // A paste the editor shows only from the read after the next `reads`
    // reads of its value, as a browser applying a large paste does.
    void pasteShownAfterReads(const QString &text, int reads) {
        std::lock_guard lock(m_mutex);
        showAfterReads(QString(m_value).replace(m_selection.location, m_selection.length, text),
                       {m_selection.location + text.size(), 0}, reads);
    }
    // What the field holds now, and what it shows from the read after the
    // next `reads` reads: a browser part-way through a large paste.
    void passThrough(const QString &now, const QString &then, AccessibilityRange selection,
                     int reads) {
        std::lock_guard lock(m_mutex);
        m_value = now;
        showAfterReads(then, selection, reads);
    }

    void set(const QString &value, AccessibilityRange selection) {
        std::lock_guard lock(m_mutex);
        m_value = value;
        m_selection = selection;
    }
    QString value() const {
        std::lock_guard lock(m_mutex);
        return m_value;
    }
    AccessibilityRange selection() const {
        std::lock_guard lock(m_mutex);
        return m_selection;
    }
    void setReadable(bool readable) {
        std::lock_guard lock(m_mutex);
        m_readable = readable;
    }
    // The next `count` writes of the value are refused.
    void refuseValueWrites(int count) {
        std::lock_guard lock(m_mutex);
        m_refusedValueWrites = count;
    }
    // Value writes are acknowledged and change nothing.
    void ignoreValueWrites(bool ignores) {
        std::lock_guard lock(m_mutex);
        m_ignoresValueWrites = ignores;
    }
    // A read-only field: says so when asked, and ignores value writes it
    // is sent anyway.
    void setEditable(bool editable) {
        std::lock_guard lock(m_mutex);
        m_editable = editable;
    }
    // A written value shows only from the read after the next `reads`
    // reads of the value.
    void showValueWritesAfterReads(int reads) {
        std::lock_guard lock(m_mutex);
        m_lateReads = reads;
    }
    // A browser's editor, which takes new text by paste alone.
    void setPastesOnly(bool pastesOnly) {
        std::lock_guard lock(m_mutex);
        m_pastesOnly = pastesOnly;
    }
    // A selection written is taken at once and shows only from the read
    // after the next `reads` reads of it, as Chromium applies it in its
    // page a moment later: keys before then meet the old selection.
    void showSelectionWritesAfterReads(int reads) {
        std::lock_guard lock(m_mutex);
        m_lateSelectionReads = reads;
    }
    void setAcceptsSelection(bool accepts) {
        std::lock_guard lock(m_mutex);
        m_acceptsSelection = accepts;
    }
    void setProcessIdentifier(std::optional<qint32> processIdentifier) {
        std::lock_guard lock(m_mutex);
        m_processIdentifier = processIdentifier;
    }
    // Writes that changed the value, and writes sent at all.
    int valueWrites() const {
        std::lock_guard lock(m_mutex);
        return m_valueWrites;
    }
    int valueWriteAttempts() const {
        std::lock_guard lock(m_mutex);
        return m_valueWriteAttempts;
    }

private:
    void showAfterReads(const QString &value, AccessibilityRange selection, int reads) {
        m_pendingValue = value;
        m_pendingSelection = selection;
        m_readsUntilShown = reads;
    }

    mutable std::mutex m_mutex;
    QString m_value;
    AccessibilityRange m_selection;
    bool m_readable = true;
    bool m_acceptsSelection = true;
    int m_lateSelectionReads = 0;
    std::optional<AccessibilityRange> m_pendingSelectionWrite;
    int m_selectionReadsUntilShown = 0;
    int m_refusedValueWrites = 0;
    bool m_ignoresValueWrites = false;
    bool m_editable = true;
    bool m_pastesOnly = false;
    int m_lateReads = 0;
    std::optional<QString> m_pendingValue;
    std::optional<AccessibilityRange> m_pendingSelection;
    int m_readsUntilShown = 0;
    int m_valueWrites = 0;
    int m_valueWriteAttempts = 0;
    std::optional<qint32> m_processIdentifier = 42;
};

} // namespace tovalit::testing
