#include "views/instructions/instruction_library_view.h"

#include "models/instruction_library_catalog.h"
#include "support/textkit.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_empty_state_card.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_glass_surface.h"
#include "views/design/tovalit_overview_card.h"
#include "views/design/tovalit_page_layout.h"
#include "views/design/tovalit_page_scroll_view.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_search_field.h"
#include "views/design/tovalit_section_header.h"
#include "views/design/tovalit_segmented_control.h"
#include "views/design/tovalit_summary_column.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"
#include "views/instructions/instruction_editor_sheet.h"
#include "views/instructions/instruction_entry_card.h"
#include "views/instructions/instruction_library_page_model.h"
#include "views/instructions/view_model_instruction_library_page_model.h"
#include "views/localized_text_search.h"

#include <QFontInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <utility>

namespace tovalit {

InstructionLibraryView::InstructionLibraryView(TranscriberViewModel &viewModel, QWidget *parent)
    : InstructionLibraryView(std::make_shared<ViewModelInstructionLibraryPageModel>(viewModel),
                             parent) {}

InstructionLibraryView::InstructionLibraryView(std::shared_ptr<InstructionLibraryPageModel> model,
                                               QWidget *parent)
    : QWidget(parent)
    , m_model(std::move(model)) {
    setObjectName(QStringLiteral("InstructionLibraryView"));
    build();
    connect(m_model.get(), &InstructionLibraryPageModel::instructionLibraryChanged, this,
            &InstructionLibraryView::refresh);
    refresh();
}

InstructionLibraryView::~InstructionLibraryView() = default;

bool InstructionLibraryView::isEditorPresented() const {
    return !m_editor.isNull();
}

InstructionEditorSheet *InstructionLibraryView::editorSheet() const {
    return m_editor.data();
}

QString InstructionLibraryView::searchText() const {
    return m_searchField->text();
}

void InstructionLibraryView::build() {
    using namespace TovalitTokens;
    m_searchField = new TovalitSearchField(QStringLiteral("搜索指令"), this);
    m_searchField->setObjectName(QStringLiteral("InstructionSearchField"));
    m_addButton = new TovalitButton(QStringLiteral("新增指令"),
                                    TovalitButton::Style::borderedProminent, this);
    m_addButton->setObjectName(QStringLiteral("InstructionAddButton"));

    auto *page = new TovalitPageScrollView(this);

    // Overview: counts and how instructions are spoken.
    auto *overview = new TovalitOverviewCard(
        {QStringLiteral("总数"), QStringLiteral("内置"), QStringLiteral("我的")},
        QStringLiteral("显式说“写日报”或“用某个指令”时，Tovalit "
                       "才会切到指令执行链路，其余仍然走自然模式。"),
        this);
    overview->setObjectName(QStringLiteral("InstructionOverviewCard"));
    m_totalColumn = overview->figure(0);
    m_builtinColumn = overview->figure(1);
    m_customColumn = overview->figure(2);
    auto *voiceTip = new QHBoxLayout;
    voiceTip->setContentsMargins(0, 2, 0, 0);
    voiceTip->setSpacing(int(Spacing::xs));
    voiceTip->addWidget(new TovalitSymbolView(QStringLiteral("mic.badge.plus"),
                                              QFontInfo(FontStyle::captionStrong()).pixelSize(),
                                              TovalitPalette::brandStrong(), overview),
                        0, Qt::AlignTop);
    voiceTip->addWidget(new TovalitTextLabel(QStringLiteral("语音里说“帮我创建一个指令 + "
                                                            "需求”，系统会先生成草稿，再给你一个 5 "
                                                            "秒可撤销的自动加入提示。"),
                                             TovalitTextStyle::footnote(),
                                             TovalitPalette::secondary(), overview),
                        1);
    overview->column()->addLayout(voiceTip);
    page->addSection(overview);

    // Scope filter and the count of what it lets through.
    auto *filterBar = new TovalitGlassSurface(TovalitGlassLevel::card(), this);
    filterBar->setObjectName(QStringLiteral("InstructionFilterToolbar"));
    auto *filterRow = new QHBoxLayout(filterBar);
    const int medium = int(Spacing::md);
    filterRow->setContentsMargins(medium, medium, medium, medium);
    filterRow->setSpacing(14);
    QStringList scopes;
    for (InstructionSectionFilter filter : allInstructionSectionFilters)
        scopes << label(filter);
    // The picker shows its title before the segments, as the settings
    // page's pickers do; title and segments together are at most 320 wide.
    auto *scopeField = new QWidget(filterBar);
    scopeField->setObjectName(QStringLiteral("InstructionScopeField"));
    scopeField->setMaximumWidth(320);
    auto *scopeRow = new QHBoxLayout(scopeField);
    scopeRow->setContentsMargins(0, 0, 0, 0);
    scopeRow->setSpacing(12);
    auto *scopeTitle = new TovalitTextLabel(QStringLiteral("指令范围"), tovalitFont(13),
                                            TovalitPalette::primary(), scopeField);
    scopeTitle->setObjectName(QStringLiteral("InstructionScopeTitle"));
    scopeTitle->setWraps(false);
    m_scopePicker = new TovalitSegmentedControl(scopes, scopeField);
    m_scopePicker->setObjectName(QStringLiteral("InstructionScopePicker"));
    m_scopePicker->setAccessibleName(QStringLiteral("指令范围"));
    scopeRow->addWidget(scopeTitle, 0, Qt::AlignVCenter);
    scopeRow->addWidget(m_scopePicker, 1, Qt::AlignVCenter);
    m_countLabel = new TovalitTextLabel(QString(), TovalitTextStyle::subheadline(),
                                        TovalitPalette::secondary(), filterBar);
    m_countLabel->setObjectName(QStringLiteral("InstructionCountLabel"));
    m_countLabel->setWraps(false);
    filterRow->addWidget(scopeField, 1);
    filterRow->addStretch(0);
    filterRow->addWidget(m_countLabel, 0, Qt::AlignVCenter);
    page->addSection(filterBar);

    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("InstructionContentSection"));
    m_contentColumn = new QVBoxLayout(m_content);
    m_contentColumn->setContentsMargins(0, 0, 0, 0);
    m_contentColumn->setSpacing(int(Spacing::sm));
    page->addSection(m_content);

    makePageColumn(this, {m_searchField, m_addButton})->addWidget(page, 1);

    connect(m_searchField, &QLineEdit::textChanged, this, &InstructionLibraryView::refresh);
    connect(m_scopePicker, &TovalitSegmentedControl::currentIndexChanged, this, [this](int index) {
        m_activeFilter = allInstructionSectionFilters.at(std::size_t(index));
        refresh();
    });
    connect(m_addButton, &QPushButton::clicked, this,
            [this] { presentEditor(InstructionEditorDraft()); });
}

QList<InstructionLibraryEntry> InstructionLibraryView::allEntries() const {
    return InstructionLibraryCatalog::allEntries(m_model->builtinInstructionLibraryEntries(),
                                                 m_model->instructionLibraryEntries());
}

QList<InstructionLibraryEntry> InstructionLibraryView::filteredEntries() const {
    const QString query = textkit::trimmed(searchText());
    QList<InstructionLibraryEntry> passed;
    for (const InstructionLibraryEntry &entry : allEntries()) {
        if (!includes(m_activeFilter, entry))
            continue;
        if (query.isEmpty() || localizedCaseInsensitiveContains(entry.title, query) ||
            localizedCaseInsensitiveContains(entry.summary, query) ||
            localizedCaseInsensitiveContains(entry.promptTemplate, query))
            passed << entry;
    }
    return passed;
}

void InstructionLibraryView::refresh() {
    const QList<InstructionLibraryEntry> all = allEntries();
    const QList<InstructionLibraryEntry> filtered = filteredEntries();

    // The overview counts ignore the scope and the search.
    m_totalColumn->setValue(QString::number(all.size()));
    m_builtinColumn->setValue(QString::number(m_model->builtinInstructionLibraryEntries().size()));
    m_customColumn->setValue(QString::number(m_model->instructionLibraryEntries().size()));

    const QString count = QString::number(filtered.size());
    if (m_activeFilter == InstructionSectionFilter::all)
        m_countLabel->setText(QStringLiteral("共 ") + count + QStringLiteral(" 个指令"));
    else
        m_countLabel->setText(label(m_activeFilter) + u' ' + count + QStringLiteral(" 个"));
    rebuildContent(all, filtered);
}

void InstructionLibraryView::rebuildContent(const QList<InstructionLibraryEntry> &all,
                                            const QList<InstructionLibraryEntry> &filtered) {
    clearLayoutLater(m_contentColumn);
    m_emptyState = nullptr;
    m_headers.clear();
    m_cards.clear();

    if (all.isEmpty()) {
        m_emptyState = new TovalitEmptyStateCard(
            QStringLiteral("还没有任何指令"), QStringLiteral("sparkles.rectangle.stack"),
            QStringLiteral("你可以先从内置指令开始，也可以手动创建一个自己的指令。"),
            QStringLiteral("新增指令"), [this] { presentEditor(InstructionEditorDraft()); },
            m_content);
    } else if (filtered.isEmpty()) {
        m_emptyState = new TovalitEmptyStateCard(
            QStringLiteral("当前分组还没有指令"), QStringLiteral("magnifyingglass"),
            m_activeFilter == InstructionSectionFilter::custom
                ? QStringLiteral("还没有你自己的指令，可以先手动新增一个。")
                : QStringLiteral("当前筛选下没有可展示的指令。"),
            std::nullopt, {}, m_content);
    }
    if (m_emptyState) {
        m_emptyState->setObjectName(QStringLiteral("InstructionEmptyStateCard"));
        m_contentColumn->addWidget(m_emptyState);
        return;
    }

    for (InstructionLibraryEntrySource source :
         {InstructionLibraryEntrySource::builtin, InstructionLibraryEntrySource::custom}) {
        QList<InstructionLibraryEntry> group;
        for (const InstructionLibraryEntry &entry : filtered) {
            if (entry.source == source)
                group << entry;
        }
        if (group.isEmpty())
            continue;
        auto *header = new TovalitSectionHeader(displayName(source), m_content);
        m_headers << header;
        m_contentColumn->addWidget(header);
        for (const InstructionLibraryEntry &entry : std::as_const(group)) {
            InstructionEntryCard *card = makeCard(entry);
            m_cards << card;
            m_contentColumn->addWidget(card);
        }
    }
}

InstructionEntryCard *InstructionLibraryView::makeCard(const InstructionLibraryEntry &entry) {
    auto *card =
        new InstructionEntryCard(entry, m_expandedPromptIDs.contains(entry.id()), m_content);
    connect(card, &InstructionEntryCard::editClicked, this,
            [this, entry] { presentEditor(InstructionEditorDraft(entry)); });
    connect(card, &InstructionEntryCard::toggleClicked, this,
            [this, entry] { m_model->toggleInstructionEntry(entry); });
    connect(card, &InstructionEntryCard::deleteClicked, this,
            [this, entry] { m_model->deleteInstructionEntry(entry); });
    connect(card, &InstructionEntryCard::copyTriggerClicked, this,
            [this, entry] { copyTriggerPhrase(entry); });
    connect(card, &InstructionEntryCard::promptExpandedChanged, this,
            [this, id = entry.id()](bool expanded) {
                if (expanded)
                    m_expandedPromptIDs.insert(id);
                else
                    m_expandedPromptIDs.remove(id);
            });
    return card;
}

void InstructionLibraryView::copyTriggerPhrase(const InstructionLibraryEntry &entry) {
    const QStringList phrases = entry.displayInvocationPhrases();
    m_model->copyTranscript(phrases.isEmpty() ? entry.invocationHint : phrases.first());
}

void InstructionLibraryView::presentEditor(InstructionEditorDraft draft) {
    dismissEditor();
    m_editorDraft = std::move(draft);
    m_editor = new InstructionEditorSheet(
        m_editorDraft, [this] { dismissEditor(); }, [this] { saveEditor(); }, this);
    m_editor->open();
}

void InstructionLibraryView::dismissEditor() {
    if (InstructionEditorSheet *editor = std::exchange(m_editor, nullptr))
        editor->dismiss();
}

void InstructionLibraryView::saveEditor() {
    const InstructionEditorDraft &draft = m_editorDraft;
    m_model->saveManualInstructionEntry(draft.entryID, draft.trimmedTitle(), draft.trimmedSummary(),
                                        draft.trimmedPromptTemplate(), draft.category,
                                        draft.enabled, manualEntryMaxTokens, draft.createdAt);
    dismissEditor();
}

} // namespace tovalit
