#pragma once

#include "models/personal_lexicon_entry.h"
#include "views/lexicon/lexicon_editor_draft.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QVBoxLayout;

namespace tovalit {

class LexiconEditorSheet;
class PersonalLexiconEntryCard;
class PersonalLexiconPageModel;
class TovalitButton;
class TovalitEmptyStateCard;
class TovalitSearchField;
class TovalitSectionHeader;
class TovalitSummaryColumn;
class TovalitSymbolView;
class TovalitTextLabel;
class TranscriberViewModel;

// The personal lexicon page of the main window: the hot words and
// replacements the user added or confirmed, with counts and the sync
// state, a search, one card per entry and the editor sheet. Entries the
// program learned or manages itself are never listed or counted. The page
// holds only view state; the entries and every operation are the model's.
class PersonalLexiconView : public QWidget {
    Q_OBJECT
public:
    // The page of the main window, over the application's view model.
    explicit PersonalLexiconView(TranscriberViewModel &viewModel, QWidget *parent = nullptr);
    // The page over any model of the lexicon.
    explicit PersonalLexiconView(std::shared_ptr<PersonalLexiconPageModel> model,
                                 QWidget *parent = nullptr);
    ~PersonalLexiconView() override;

    // --- View state -------------------------------------------------------
    bool isEditorPresented() const;
    const LexiconEditorDraft &editorDraft() const { return m_editorDraft; }
    QString searchText() const;

    // The user's own entries in their published order, and those the
    // search lets through.
    QList<PersonalLexiconEntry> userEntries() const;
    QList<PersonalLexiconEntry> visibleEntries() const;

    // --- Parts (for the window's toolbar and for tests) --------------------
    TovalitSearchField *searchField() const { return m_searchField; }
    TovalitButton *syncButton() const { return m_syncButton; }
    TovalitButton *addButton() const { return m_addButton; }
    TovalitSummaryColumn *entryCountColumn() const { return m_entryCountColumn; }
    TovalitSummaryColumn *enabledCountColumn() const { return m_enabledCountColumn; }
    TovalitSummaryColumn *lastModifiedColumn() const { return m_lastModifiedColumn; }
    TovalitSymbolView *statusIcon() const { return m_statusIcon; }
    TovalitTextLabel *statusLabel() const { return m_statusLabel; }
    // Names the set-aside copies of the lexicon file; hidden while there
    // are none.
    TovalitTextLabel *setAsideNotice() const { return m_setAsideNotice; }
    // The empty state shown, or null while entries are listed.
    TovalitEmptyStateCard *emptyStateCard() const { return m_emptyState; }
    // Null while an empty state shows.
    TovalitSectionHeader *sectionHeader() const { return m_header; }
    QList<PersonalLexiconEntryCard *> entryCards() const { return m_cards; }
    // The open editor, or null.
    LexiconEditorSheet *editorSheet() const;

private:
    void build();
    // What the page says of copies of an unreadable lexicon file.
    static QString setAsideNoticeText(const QStringList &copies);
    void refresh();
    void rebuildContent(const QList<PersonalLexiconEntry> &users,
                        const QList<PersonalLexiconEntry> &visible);
    PersonalLexiconEntryCard *makeCard(const PersonalLexiconEntry &entry);
    void presentEditor(LexiconEditorDraft draft);
    void dismissEditor();
    void saveEditor();

    std::shared_ptr<PersonalLexiconPageModel> m_model;
    LexiconEditorDraft m_editorDraft;

    TovalitSearchField *m_searchField = nullptr;
    TovalitButton *m_syncButton = nullptr;
    TovalitButton *m_addButton = nullptr;
    TovalitSummaryColumn *m_entryCountColumn = nullptr;
    TovalitSummaryColumn *m_enabledCountColumn = nullptr;
    TovalitSummaryColumn *m_lastModifiedColumn = nullptr;
    TovalitSymbolView *m_statusIcon = nullptr;
    TovalitTextLabel *m_statusLabel = nullptr;
    TovalitTextLabel *m_setAsideNotice = nullptr;
    QWidget *m_content = nullptr;
    QVBoxLayout *m_contentColumn = nullptr;
    TovalitEmptyStateCard *m_emptyState = nullptr;
    TovalitSectionHeader *m_header = nullptr;
    QList<PersonalLexiconEntryCard *> m_cards;
    QPointer<LexiconEditorSheet> m_editor;
};

} // namespace tovalit
