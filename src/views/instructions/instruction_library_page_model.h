#pragma once

#include "models/instruction_library_entry.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QUuid>

#include <optional>

namespace tovalit {

// What the instruction library page reads and calls: the view model's two
// instruction lists and its instruction operations, behind one narrow
// interface so that the page can be driven without a whole controller.
// The operations return at once; their outcome comes back through the
// lists (and the view model's toasts).
class InstructionLibraryPageModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The shipped instructions, in display order.
    virtual QList<InstructionLibraryEntry> builtinInstructionLibraryEntries() const = 0;
    // The user's own instructions only.
    virtual QList<InstructionLibraryEntry> instructionLibraryEntries() const = 0;

    virtual void toggleInstructionEntry(const InstructionLibraryEntry &entry) = 0;
    virtual void deleteInstructionEntry(const InstructionLibraryEntry &entry) = 0;
    virtual void saveManualInstructionEntry(std::optional<QUuid> id, const QString &title,
                                            const QString &summary, const QString &promptTemplate,
                                            InstructionLibraryCategory category, bool enabled,
                                            qint64 maxTokens,
                                            std::optional<QDateTime> createdAt) = 0;
    // Puts the trimmed text on the clipboard with a confirmation; nothing
    // for a blank text.
    virtual void copyTranscript(const QString &text) = 0;

Q_SIGNALS:
    // Either list was published again.
    void instructionLibraryChanged();
};

} // namespace tovalit
