#pragma once

#include "models/instruction_library_entry.h"
#include "views/instructions/instruction_editor_draft.h"
#include "views/instructions/instruction_section_filter.h"

#include <QPointer>
#include <QSet>
#include <QUuid>
#include <QWidget>

#include <memory>

class QVBoxLayout;

namespace tovalit {

class InstructionEditorSheet;
class InstructionEntryCard;
class InstructionLibraryPageModel;
class TovalitButton;
class TovalitEmptyStateCard;
class TovalitSearchField;
class TovalitSectionHeader;
class TovalitSegmentedControl;
class TovalitSummaryColumn;
class TovalitTextLabel;
class TranscriberViewModel;

// The instruction library page of the main window: the shipped and the
// user's own instructions with counts, a scope filter, a search, one card
// per instruction, and the editor sheet for new and changed ones. It holds
// only view state; the lists and every operation are the model's.
class InstructionLibraryView : public QWidget {
    Q_OBJECT
public:
    // The page of the main window, over the application's view model.
    explicit InstructionLibraryView(TranscriberViewModel &viewModel, QWidget *parent = nullptr);
    // The page over any model of the library.
    explicit InstructionLibraryView(std::shared_ptr<InstructionLibraryPageModel> model,
                                    QWidget *parent = nullptr);
    ~InstructionLibraryView() override;

    // Every save passes this limit, also for an edited instruction; the
    // view model decides what the stored entry keeps.
    static constexpr qint64 manualEntryMaxTokens = 900;

    // --- View state -------------------------------------------------------
    InstructionSectionFilter activeFilter() const { return m_activeFilter; }
    bool isEditorPresented() const;
    const InstructionEditorDraft &editorDraft() const { return m_editorDraft; }
    QString searchText() const;
    const QSet<QUuid> &expandedPromptIDs() const { return m_expandedPromptIDs; }

    // What the page lists: the built-ins, then the custom entries latest
    // update first; and of those, what the scope and the search let through.
    QList<InstructionLibraryEntry> allEntries() const;
    QList<InstructionLibraryEntry> filteredEntries() const;

    // --- Parts (for the window's toolbar and for tests) --------------------
    TovalitSearchField *searchField() const { return m_searchField; }
    TovalitButton *addButton() const { return m_addButton; }
    TovalitSummaryColumn *totalColumn() const { return m_totalColumn; }
    TovalitSummaryColumn *builtinColumn() const { return m_builtinColumn; }
    TovalitSummaryColumn *customColumn() const { return m_customColumn; }
    TovalitSegmentedControl *scopePicker() const { return m_scopePicker; }
    TovalitTextLabel *countLabel() const { return m_countLabel; }
    // The empty state shown, or null while entries are listed.
    TovalitEmptyStateCard *emptyStateCard() const { return m_emptyState; }
    QList<TovalitSectionHeader *> sectionHeaders() const { return m_headers; }
    QList<InstructionEntryCard *> entryCards() const { return m_cards; }
    // The open editor, or null.
    InstructionEditorSheet *editorSheet() const;

private:
    void build();
    void refresh();
    void rebuildContent(const QList<InstructionLibraryEntry> &all,
                        const QList<InstructionLibraryEntry> &filtered);
    InstructionEntryCard *makeCard(const InstructionLibraryEntry &entry);
    void copyTriggerPhrase(const InstructionLibraryEntry &entry);
    void presentEditor(InstructionEditorDraft draft);
    void dismissEditor();
    void saveEditor();

    std::shared_ptr<InstructionLibraryPageModel> m_model;
    InstructionSectionFilter m_activeFilter = InstructionSectionFilter::all;
    InstructionEditorDraft m_editorDraft;
    QSet<QUuid> m_expandedPromptIDs;

    TovalitSearchField *m_searchField = nullptr;
    TovalitButton *m_addButton = nullptr;
    TovalitSummaryColumn *m_totalColumn = nullptr;
    TovalitSummaryColumn *m_builtinColumn = nullptr;
    TovalitSummaryColumn *m_customColumn = nullptr;
    TovalitSegmentedControl *m_scopePicker = nullptr;
    TovalitTextLabel *m_countLabel = nullptr;
    QWidget *m_content = nullptr;
    QVBoxLayout *m_contentColumn = nullptr;
    TovalitEmptyStateCard *m_emptyState = nullptr;
    QList<TovalitSectionHeader *> m_headers;
    QList<InstructionEntryCard *> m_cards;
    QPointer<InstructionEditorSheet> m_editor;
};

} // namespace tovalit
