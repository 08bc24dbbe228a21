#include "views/lexicon/personal_lexicon_view.h"

#include "support/spawn.h"
#include "support/textkit.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_empty_state_card.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_overview_card.h"
#include "views/design/tovalit_page_layout.h"
#include "views/design/tovalit_page_scroll_view.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_search_field.h"
#include "views/design/tovalit_section_header.h"
#include "views/design/tovalit_summary_column.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"
#include "views/lexicon/abbreviated_date_time.h"
#include "views/lexicon/lexicon_editor_sheet.h"
#include "views/lexicon/personal_lexicon_entry_card.h"
#include "views/lexicon/personal_lexicon_page_model.h"
#include "views/lexicon/view_model_personal_lexicon_page_model.h"
#include "views/localized_text_search.h"

#include <QDir>
#include <QFileInfo>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <utility>

namespace tovalit {

PersonalLexiconView::PersonalLexiconView(TranscriberViewModel &viewModel, QWidget *parent)
    : PersonalLexiconView(std::make_shared<ViewModelPersonalLexiconPageModel>(viewModel), parent) {}

PersonalLexiconView::PersonalLexiconView(std::shared_ptr<PersonalLexiconPageModel> model,
                                         QWidget *parent)
    : QWidget(parent)
    , m_model(std::move(model)) {
    setObjectName(QStringLiteral("PersonalLexiconView"));
    build();
    connect(m_model.get(), &PersonalLexiconPageModel::personalLexiconChanged, this,
            &PersonalLexiconView::refresh);
    refresh();
}

PersonalLexiconView::~PersonalLexiconView() = default;

bool PersonalLexiconView::isEditorPresented() const {
    return !m_editor.isNull();
}

LexiconEditorSheet *PersonalLexiconView::editorSheet() const {
    return m_editor.data();
}

QString PersonalLexiconView::searchText() const {
    return m_searchField->text();
}

void PersonalLexiconView::build() {
    using namespace TovalitTokens;
    m_searchField = new TovalitSearchField(QStringLiteral("搜索我的词条"), this);
    m_searchField->setObjectName(QStringLiteral("LexiconSearchField"));
    m_syncButton =
        new TovalitButton(QStringLiteral("立即同步"), TovalitButton::Style::bordered, this);
    m_syncButton->setObjectName(QStringLiteral("LexiconSyncButton"));
    m_addButton = new TovalitButton(QStringLiteral("新增词条"),
                                    TovalitButton::Style::borderedProminent, this);
    m_addButton->setObjectName(QStringLiteral("LexiconAddButton"));

    auto *page = new TovalitPageScrollView(this);

    auto *overview = new TovalitOverviewCard(
        {QStringLiteral("我的词条"), QStringLiteral("启用中"), QStringLiteral("最近修改")},
        QStringLiteral("这里展示的是你亲自维护或确认过的词条。后续识别和整理会优先采用这些写法。"),
        this);
    overview->setObjectName(QStringLiteral("LexiconOverviewCard"));
    m_entryCountColumn = overview->figure(0);
    m_enabledCountColumn = overview->figure(1);
    m_lastModifiedColumn = overview->figure(2);
    auto *status = new QHBoxLayout;
    status->setSpacing(int(Spacing::xs));
    m_statusIcon = new TovalitSymbolView(QStringLiteral("arrow.triangle.2.circlepath"),
                                         QFontInfo(FontStyle::captionStrong()).pixelSize(),
                                         TovalitPalette::brandStrong(), overview);
    m_statusIcon->setObjectName(QStringLiteral("LexiconStatusIcon"));
    m_statusLabel = new TovalitTextLabel(QString(), TovalitTextStyle::footnote(),
                                         TovalitPalette::secondary(), overview);
    m_statusLabel->setObjectName(QStringLiteral("LexiconStatusLabel"));
    status->addWidget(m_statusIcon, 0, Qt::AlignTop);
    status->addWidget(m_statusLabel, 1);
    overview->column()->addLayout(status);
    m_setAsideNotice = new TovalitTextLabel(QString(), TovalitTextStyle::footnote(),
                                            TovalitPalette::red(), overview);
    m_setAsideNotice->setObjectName(QStringLiteral("LexiconSetAsideNotice"));
    m_setAsideNotice->hide();
    overview->column()->addWidget(m_setAsideNotice);
    page->addSection(overview);

    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("LexiconContentSection"));
    m_contentColumn = new QVBoxLayout(m_content);
    m_contentColumn->setContentsMargins(0, 0, 0, 0);
    m_contentColumn->setSpacing(int(Spacing::sm));
    page->addSection(m_content);

    makePageColumn(this, {m_searchField, m_syncButton, m_addButton})->addWidget(page, 1);

    connect(m_searchField, &QLineEdit::textChanged, this, &PersonalLexiconView::refresh);
    connect(m_syncButton, &QPushButton::clicked, this, [this] {
        // The model, not the page, owns the refresh: it runs to its end even
        // when the page is closed meanwhile.
        spawn(
            m_model.get(), [model = m_model] { return model->refreshPersonalLexicon(); },
            QStringLiteral("refresh personal lexicon"));
    });
    connect(m_addButton, &QPushButton::clicked, this,
            [this] { presentEditor(LexiconEditorDraft()); });
}

QList<PersonalLexiconEntry> PersonalLexiconView::userEntries() const {
    QList<PersonalLexiconEntry> users;
    for (const PersonalLexiconEntry &entry : m_model->personalLexiconEntries()) {
        if (entry.learningSource != PersonalLexiconEntrySource::historyFrequency &&
            entry.learningSource != PersonalLexiconEntrySource::replacementPromotion)
            users << entry;
    }
    return users;
}

QList<PersonalLexiconEntry> PersonalLexiconView::visibleEntries() const {
    const QString query = textkit::trimmed(searchText());
    QList<PersonalLexiconEntry> visible;
    for (const PersonalLexiconEntry &entry : userEntries()) {
        if (query.isEmpty() || localizedCaseInsensitiveContains(entry.targetText, query) ||
            (entry.sourceText && localizedCaseInsensitiveContains(*entry.sourceText, query)) ||
            localizedCaseInsensitiveContains(entry.displayText(), query))
            visible << entry;
    }
    return visible;
}

void PersonalLexiconView::refresh() {
    const QList<PersonalLexiconEntry> users = userEntries();
    qsizetype enabled = 0;
    std::optional<QDateTime> latest;
    for (const PersonalLexiconEntry &entry : users) {
        if (entry.enabled)
            ++enabled;
        if (!latest || entry.updatedAt > *latest)
            latest = entry.updatedAt;
    }
    m_entryCountColumn->setValue(QString::number(users.size()));
    m_enabledCountColumn->setValue(QString::number(enabled));
    m_lastModifiedColumn->setValue(latest ? abbreviatedDateTime(*latest) : QStringLiteral("暂无"));

    const std::optional<QString> error = m_model->personalLexiconCloudState().lastErrorMessage;
    const bool failing = error && !textkit::isBlank(*error);
    m_statusIcon->setSymbol(failing ? QStringLiteral("exclamationmark.triangle.fill")
                                    : QStringLiteral("arrow.triangle.2.circlepath"),
                            failing ? TovalitPalette::red() : TovalitPalette::brandStrong());
    m_statusLabel->setText(m_model->personalLexiconSummary());
    m_statusLabel->setColor(failing ? TovalitPalette::red() : TovalitPalette::secondary());
    // The toast that named the copy is gone after seconds; an empty page
    // must not read as if the user had never had entries.
    const QStringList copies = m_model->setAsideLexiconCopies();
    m_setAsideNotice->setText(setAsideNoticeText(copies));
    m_setAsideNotice->setVisible(!copies.isEmpty());

    rebuildContent(users, visibleEntries());
}

QString PersonalLexiconView::setAsideNoticeText(const QStringList &copies) {
    if (copies.isEmpty())
        return {};
    const QString folder = QFileInfo(copies.first()).path();
    QStringList names;
    for (const QString &copy : copies)
        names.append(QFileInfo(copy).fileName());
    const QString kept = copies.size() == 1
                             ? QStringLiteral("原文件另存为 ") + names.first()
                             : QStringLiteral("原文件另存为 %1 份副本：").arg(copies.size()) +
                                   names.join(QStringLiteral("、"));
    return QStringLiteral("个人词库文件曾无法解析，") + kept + QStringLiteral("，位于 ") +
           QDir::toNativeSeparators(folder) +
           QStringLiteral("。其中的词条可用文本编辑器打开找回；不再需要时可删除它。");
}

void PersonalLexiconView::rebuildContent(const QList<PersonalLexiconEntry> &users,
                                         const QList<PersonalLexiconEntry> &visible) {
    clearLayoutLater(m_contentColumn);
    m_emptyState = nullptr;
    m_header = nullptr;
    m_cards.clear();

    if (users.isEmpty()) {
        m_emptyState = new TovalitEmptyStateCard(
            QStringLiteral("我的词条还没有开始积累"), QStringLiteral("text.badge.star"),
            QStringLiteral("你可以直接新增一个词条；如果经常被识别成别的词，也可以顺手把原识别词"
                           "填进去，Tovalit 会自动判断怎么处理。"),
            QStringLiteral("新增词条"), [this] { presentEditor(LexiconEditorDraft()); }, m_content);
    } else if (visible.isEmpty()) {
        m_emptyState = new TovalitEmptyStateCard(
            QStringLiteral("没有匹配的词条"), QStringLiteral("magnifyingglass"),
            QStringLiteral("当前搜索条件下没有匹配结果，可以换个关键词试试。"), std::nullopt, {},
            m_content);
    }
    if (m_emptyState) {
        m_emptyState->setObjectName(QStringLiteral("LexiconEmptyStateCard"));
        m_contentColumn->addWidget(m_emptyState);
        return;
    }

    m_header = new TovalitSectionHeader(textkit::isBlank(searchText()) ? QStringLiteral("我的词条")
                                                                       : QStringLiteral("搜索结果"),
                                        m_content);
    m_contentColumn->addWidget(m_header);
    for (const PersonalLexiconEntry &entry : visible) {
        PersonalLexiconEntryCard *card = makeCard(entry);
        m_cards << card;
        m_contentColumn->addWidget(card);
    }
}

PersonalLexiconEntryCard *PersonalLexiconView::makeCard(const PersonalLexiconEntry &entry) {
    auto *card = new PersonalLexiconEntryCard(entry, m_content);
    connect(card, &PersonalLexiconEntryCard::editClicked, this,
            [this, entry] { presentEditor(LexiconEditorDraft(entry)); });
    connect(card, &PersonalLexiconEntryCard::toggleClicked, this,
            [this, entry] { m_model->toggleLexiconEntry(entry); });
    connect(card, &PersonalLexiconEntryCard::deleteClicked, this,
            [this, entry] { m_model->deleteLexiconEntry(entry); });
    return card;
}

void PersonalLexiconView::presentEditor(LexiconEditorDraft draft) {
    dismissEditor();
    m_editorDraft = std::move(draft);
    m_editor = new LexiconEditorSheet(
        m_editorDraft, [this] { dismissEditor(); }, [this] { saveEditor(); }, this);
    m_editor->open();
}

void PersonalLexiconView::dismissEditor() {
    if (LexiconEditorSheet *editor = std::exchange(m_editor, nullptr))
        editor->dismiss();
}

void PersonalLexiconView::saveEditor() {
    const LexiconEditorDraft &draft = m_editorDraft;
    std::optional<QString> source;
    if (draft.hasSourceText())
        source = draft.trimmedSourceText();
    m_model->saveManualLexiconEntry(draft.entryID, draft.kind(), source, draft.trimmedTargetText(),
                                    draft.enabled, draft.hitCount, draft.createdAt,
                                    draft.lastAppliedAt);
    dismissEditor();
}

} // namespace tovalit
