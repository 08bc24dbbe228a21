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

QLineEdit *makeField(const QString &placeholder, const QString &text, QWidget *parent) {
    auto *field = new QLineEdit(text, parent);
    field->setPlaceholderText(placeholder);
    field->setFont(TovalitTokens::FontStyle::body());
    field->setStyleSheet(QStringLiteral("QLineEdit { background: white; border: 1px solid "
                                        "rgba(0, 0, 0, 40); border-radius: 6px; padding: 5px 8px; }"
                                        "QLineEdit:focus { border: 1px solid %1; }")
                             .arg(TovalitPalette::brandStrong().name()));
    return field;
}

// A caption above its field.
QVBoxLayout *labelled(const QString &caption, QWidget *field, QWidget *parent) {
    auto *stack = new QVBoxLayout;
    stack->setSpacing(8);
    stack->addWidget(new TovalitTextLabel(caption, TovalitTextStyle::headline(),
                                          TovalitPalette::primary(), parent));
    stack->addWidget(field);
    return stack;
}

} // namespace

InstructionEditorSheet::InstructionEditorSheet(InstructionEditorDraft &draft,
                                               std::function<void()> onCancel,
                                               std::function<void()> onSave, QWidget *parent)
    : TovalitSheet(sheetSize, parent)
    , m_draft(draft)
    , m_title(new TovalitTextLabel(QString(), tovalitFont(17, QFont::Bold),
                                   TovalitPalette::primary(), this))
    , m_explanation(new TovalitTextLabel(QString(), TovalitTextStyle::subheadline(),
                                         TovalitPalette::secondary(), this))
    , m_nameField(makeField(QStringLiteral("比如 日报助手、英文润色、PRD 起草"), draft.title, this))
    , m_summaryField(makeField(QStringLiteral("这个指令主要帮你做什么"), draft.summary, this))
    , m_categoryPicker(new TovalitSegmentedControl(categoryTitles(), this))
    , m_enabledSwitch(new TovalitSwitch(QStringLiteral("保存后立即启用"), this))
    , m_promptEditor(new QPlainTextEdit(this))
    , m_validation(new TovalitTextLabel(QString(), TovalitTextStyle::footnote(),
                                        TovalitPalette::red(), this))
    , m_cancelButton(
          new TovalitButton(QStringLiteral("取消"), TovalitButton::Style::bordered, this))
    , m_primaryButton(new TovalitButton(QString(), TovalitButton::Style::borderedProminent, this)) {
    setObjectName(QStringLiteral("InstructionEditorSheet"));
    m_nameField->setObjectName(QStringLiteral("InstructionNameField"));
    m_summaryField->setObjectName(QStringLiteral("InstructionSummaryField"));
    m_categoryPicker->setObjectName(QStringLiteral("InstructionCategoryPicker"));
    m_categoryPicker->setAccessibleName(QStringLiteral("类别"));
    m_enabledSwitch->setObjectName(QStringLiteral("InstructionEnabledSwitch"));
    m_promptEditor->setObjectName(QStringLiteral("InstructionPromptEditor"));
    m_validation->setObjectName(QStringLiteral("InstructionValidationMessage"));
    m_cancelButton->setObjectName(QStringLiteral("InstructionCancelButton"));
    m_primaryButton->setObjectName(QStringLiteral("InstructionSaveButton"));

    m_categoryPicker->setCurrentIndex(categoryIndex(draft.category));
    m_enabledSwitch->setChecked(draft.enabled);
    m_promptEditor->setPlainText(draft.promptTemplate);
    m_promptEditor->setFont(tovalitFont(13));
    m_promptEditor->setFrameShape(QFrame::NoFrame);
    m_promptEditor->setMinimumHeight(180);
    m_promptEditor->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
    m_promptEditor->viewport()->setAutoFillBackground(false);
    m_promptEditor->setTabChangesFocus(true);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);

    auto *heading = new QVBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(m_title);
    heading->addWidget(m_explanation);
    column->addLayout(heading);

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

    column->addWidget(m_validation);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_primaryButton);
    column->addLayout(buttons);

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
    connect(this, &TovalitSheet::cancelRequested, this, [onCancel] {
        if (onCancel)
            onCancel();
    });
    connect(m_cancelButton, &QPushButton::clicked, this, &TovalitSheet::cancelRequested);
    connect(m_primaryButton, &QPushButton::clicked, this, [this, onSave] {
        // The button is disabled while a message shows; a click that
        // arrives anyway must not hand on an invalid draft.
        if (!m_draft.validationMessage() && onSave)
            onSave();
    });
    // Return in a field saves, as the button would while it is enabled.
    m_primaryButton->setDefault(true);
    refresh();
    m_nameField->setFocus();
}

void InstructionEditorSheet::refresh() {
    m_title->setText(m_draft.sheetTitle());
    m_explanation->setText(m_draft.explanation());
    m_primaryButton->setText(m_draft.primaryButtonTitle());
    const std::optional<QString> message = m_draft.validationMessage();
    m_validation->setVisible(message.has_value());
    m_validation->setText(message.value_or(QString()));
    m_primaryButton->setEnabled(!message);
}

} // namespace tovalit
