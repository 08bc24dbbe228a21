#include "views/instructions/instruction_editor_sheet.h"

#include "views/design/tovalit_button.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_glass_surface.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_segmented_control.h"
#include "views/design/tovalit_switch.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace tovalit {

namespace {

QStringList categoryTitles() {
    QStringList titles;
    for (InstructionLibraryCategory category : allInstructionLibraryCategories)
        titles << displayName(category);
    return titles;
}

int categoryIndex(InstructionLibraryCategory category) {
    for (std::size_t index = 0; index < allInstructionLibraryCategories.size(); ++index) {
        if (allInstructionLibraryCategories[index] == category)
            return int(index);
    }
    return 0;
}

} // namespace

InstructionEditorSheet::InstructionEditorSheet(InstructionEditorDraft &draft,
                                               std::function<void()> onCancel,
                                               std::function<void()> onSave, QWidget *parent)
    : TovalitEditorSheet(sheetSize, std::move(onCancel), std::move(onSave), parent)
    , m_draft(draft)
    , m_nameField(
          makeField(QStringLiteral("比如 日报助手、英文润色、PRD 起草"), draft.title, 5, this))
    , m_summaryField(makeField(QStringLiteral("这个指令主要帮你做什么"), draft.summary, 5, this))
    , m_categoryPicker(new TovalitSegmentedControl(categoryTitles(), this))
    , m_enabledSwitch(new TovalitSwitch(QStringLiteral("保存后立即启用"), this))
    , m_promptEditor(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("InstructionEditorSheet"));
    m_nameField->setObjectName(QStringLiteral("InstructionNameField"));
    m_summaryField->setObjectName(QStringLiteral("InstructionSummaryField"));
    m_categoryPicker->setObjectName(QStringLiteral("InstructionCategoryPicker"));
    m_categoryPicker->setAccessibleName(QStringLiteral("类别"));
    m_enabledSwitch->setObjectName(QStringLiteral("InstructionEnabledSwitch"));
    m_promptEditor->setObjectName(QStringLiteral("InstructionPromptEditor"));
    validationLabel()->setObjectName(QStringLiteral("InstructionValidationMessage"));
    cancelButton()->setObjectName(QStringLiteral("InstructionCancelButton"));
    primaryButton()->setObjectName(QStringLiteral("InstructionSaveButton"));

    m_categoryPicker->setCurrentIndex(categoryIndex(draft.category));
    m_enabledSwitch->setChecked(draft.enabled);
    m_promptEditor->setPlainText(draft.promptTemplate);
    m_promptEditor->setFont(tovalitFont(13));
    m_promptEditor->setFrameShape(QFrame::NoFrame);
    m_promptEditor->setMinimumHeight(180);
    m_promptEditor->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
    m_promptEditor->viewport()->setAutoFillBackground(false);
    m_promptEditor->setTabChangesFocus(true);

    QVBoxLayout *column = this->column();
    column->addLayout(labelled(QStringLiteral("指令名称"), m_nameField, this));
    column->addLayout(labelled(QStringLiteral("一句话说明"), m_summaryField, this));

    auto *options = new QHBoxLayout;
    options->setSpacing(16);
    auto *pickerRow = new QHBoxLayout;
    pickerRow->setSpacing(8);
    pickerRow->addWidget(new TovalitTextLabel(QStringLiteral("类别"),
                                              TovalitTokens::FontStyle::body(),
                                              TovalitPalette::primary(), this),
                         0, Qt::AlignVCenter);
    pickerRow->addWidget(m_categoryPicker);
    options->addLayout(pickerRow);
    options->addStretch(1);
    options->addWidget(m_enabledSwitch, 0, Qt::AlignVCenter);
    column->addLayout(options);

    auto *promptSurface = new TovalitGlassSurface(TovalitGlassLevel::card(), this);
    auto *promptPadding = new QVBoxLayout(promptSurface);
    promptPadding->setContentsMargins(8, 8, 8, 8);
    promptPadding->addWidget(m_promptEditor);
    auto *prompt = labelled(QStringLiteral("Prompt"), promptSurface, this);
    column->addLayout(prompt, 1);

    column->addWidget(validationLabel());
    addButtonRow();

    connect(m_nameField, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_draft.title = text;
        refresh();
    });
    connect(m_summaryField, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_draft.summary = text;
        refresh();
    });
    connect(m_categoryPicker, &TovalitSegmentedControl::currentIndexChanged, this,
            [this](int index) {
                m_draft.category = allInstructionLibraryCategories.at(std::size_t(index));
            });
    connect(m_enabledSwitch, &TovalitSwitch::toggled, this,
            [this](bool checked) { m_draft.enabled = checked; });
    connect(m_promptEditor, &QPlainTextEdit::textChanged, this, [this] {
        m_draft.promptTemplate = m_promptEditor->toPlainText();
        refresh();
    });
    refresh();
    m_nameField->setFocus();
}

std::optional<QString> InstructionEditorSheet::validationMessage() const {
    return m_draft.validationMessage();
}

void InstructionEditorSheet::refresh() {
    explanationLabel()->setText(m_draft.explanation());
    showDraftState(m_draft.sheetTitle(), m_draft.primaryButtonTitle());
}

} // namespace tovalit
