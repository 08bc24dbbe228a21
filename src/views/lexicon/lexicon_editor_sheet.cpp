#include "views/lexicon/lexicon_editor_sheet.h"

#include "views/design/tovalit_button.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tovalit {

namespace {

QLineEdit *makeField(const QString &placeholder, const QString &text, QWidget *parent) {
    auto *field = new QLineEdit(text, parent);
    field->setPlaceholderText(placeholder);
    field->setFont(TovalitTokens::FontStyle::body());
    field->setStyleSheet(QStringLiteral("QLineEdit { background: white; border: 1px solid "
                                        "rgba(0, 0, 0, 40); border-radius: 6px; padding: 4px 8px; }"
                                        "QLineEdit:focus { border: 1px solid %1; }")
                             .arg(TovalitPalette::brandStrong().name()));
    return field;
}

QVBoxLayout *labelled(const QString &caption, QWidget *field, QWidget *parent) {
    auto *stack = new QVBoxLayout;
    stack->setSpacing(8);
    stack->addWidget(new TovalitTextLabel(caption, TovalitTextStyle::headline(),
                                          TovalitPalette::primary(), parent));
    stack->addWidget(field);
    return stack;
}

} // namespace

LexiconEditorSheet::LexiconEditorSheet(LexiconEditorDraft &draft, std::function<void()> onCancel,
                                       std::function<void()> onSave, QWidget *parent)
    : TovalitSheet(sheetSize, parent)
    , m_draft(draft)
    , m_title(new TovalitTextLabel(QString(), tovalitFont(17, QFont::Bold),
                                   TovalitPalette::primary(), this))
    , m_targetField(makeField(QStringLiteral("比如 Tovalit、MacBook、Kubernetes、张三"),
                              draft.targetText, this))
    , m_sourceField(
          makeField(QStringLiteral("如果经常被识别成别的词，可填在这里"), draft.sourceText, this))
    , m_enabledToggle(new QCheckBox(QStringLiteral("保存后立即启用"), this))
    , m_validation(new TovalitTextLabel(QString(), TovalitTextStyle::footnote(),
                                        TovalitPalette::red(), this))
    , m_cancelButton(
          new TovalitButton(QStringLiteral("取消"), TovalitButton::Style::bordered, this))
    , m_primaryButton(new TovalitButton(QString(), TovalitButton::Style::borderedProminent, this)) {
    setObjectName(QStringLiteral("LexiconEditorSheet"));
    m_targetField->setObjectName(QStringLiteral("LexiconTargetField"));
    m_sourceField->setObjectName(QStringLiteral("LexiconSourceField"));
    m_enabledToggle->setObjectName(QStringLiteral("LexiconEnabledToggle"));
    m_validation->setObjectName(QStringLiteral("LexiconValidationMessage"));
    m_cancelButton->setObjectName(QStringLiteral("LexiconCancelButton"));
    m_primaryButton->setObjectName(QStringLiteral("LexiconSaveButton"));
    m_enabledToggle->setChecked(draft.enabled);
    m_enabledToggle->setFont(TovalitTokens::FontStyle::body());
    m_validation->setWraps(false);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);

    auto *heading = new QVBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(m_title);
    heading->addWidget(new TovalitTextLabel(
        QStringLiteral("直接输入你希望保留的词条内容；如果这是常见误识别，再补充原识别词，Tovalit "
                       "会自动判断怎么学习。"),
        TovalitTextStyle::subheadline(), TovalitPalette::secondary(), this));
    column->addLayout(heading);
    column->addLayout(labelled(QStringLiteral("词条内容"), m_targetField, this));
    column->addLayout(labelled(QStringLiteral("原识别词（可选）"), m_sourceField, this));
    column->addWidget(m_enabledToggle);
    column->addWidget(m_validation);
    column->addStretch(1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_primaryButton);
    column->addLayout(buttons);

    connect(m_targetField, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_draft.targetText = text;
        refresh();
    });
    connect(m_sourceField, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_draft.sourceText = text;
        refresh();
    });
    connect(m_enabledToggle, &QCheckBox::toggled, this,
            [this](bool checked) { m_draft.enabled = checked; });
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
    // Room for every row, with the message shown, whatever the fonts.
    int needed = column->totalHeightForWidth(sheetSize.width());
    if (m_validation->isHidden())
        needed += m_validation->sizeHint().height() + column->spacing();
    setFixedHeight(qMax(sheetSize.height(), needed));
    m_targetField->setFocus();
}

void LexiconEditorSheet::refresh() {
    m_title->setText(m_draft.title());
    m_primaryButton->setText(m_draft.primaryButtonTitle());
    const std::optional<QString> message = m_draft.validationMessage();
    m_validation->setVisible(message.has_value());
    m_validation->setText(message.value_or(QString()));
    m_primaryButton->setEnabled(!message);
}

} // namespace tovalit
