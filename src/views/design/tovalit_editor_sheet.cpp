#include "views/design/tovalit_editor_sheet.h"

#include "views/design/tovalit_button.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tovalit {

TovalitEditorSheet::TovalitEditorSheet(const QSize &size, std::function<void()> onCancel,
                                       std::function<void()> onSave, QWidget *parent)
    : TovalitSheet(size, parent)
    , m_title(new TovalitTextLabel(QString(), tovalitFont(17, QFont::Bold),
                                   TovalitPalette::primary(), this))
    , m_explanation(new TovalitTextLabel(QString(), TovalitTextStyle::subheadline(),
                                         TovalitPalette::secondary(), this))
    , m_validation(new TovalitTextLabel(QString(), TovalitTextStyle::footnote(),
                                        TovalitPalette::red(), this))
    , m_cancelButton(
          new TovalitButton(QStringLiteral("取消"), TovalitButton::Style::bordered, this))
    , m_primaryButton(new TovalitButton(QString(), TovalitButton::Style::borderedProminent, this))
    , m_column(new QVBoxLayout(this)) {
    m_column->setContentsMargins(24, 24, 24, 24);
    m_column->setSpacing(18);
    auto *heading = new QVBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(m_title);
    heading->addWidget(m_explanation);
    m_column->addLayout(heading);

    connect(this, &TovalitSheet::cancelRequested, this, [onCancel] {
        if (onCancel)
            onCancel();
    });
    connect(m_cancelButton, &QPushButton::clicked, this, &TovalitSheet::cancelRequested);
    connect(m_primaryButton, &QPushButton::clicked, this, [this, onSave] {
        // The button is disabled while a message shows; a click that
        // arrives anyway must not hand on an invalid draft.
        if (!validationMessage() && onSave)
            onSave();
    });
    // Return in a field saves, as the button would while it is enabled.
    m_primaryButton->setDefault(true);
}

void TovalitEditorSheet::addButtonRow() {
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_primaryButton);
    m_column->addLayout(buttons);
}

void TovalitEditorSheet::showDraftState(const QString &title, const QString &primaryTitle) {
    m_title->setText(title);
    m_primaryButton->setText(primaryTitle);
    const std::optional<QString> message = validationMessage();
    m_validation->setVisible(message.has_value());
    m_validation->setText(message.value_or(QString()));
    m_primaryButton->setEnabled(!message);
}

QLineEdit *TovalitEditorSheet::makeField(const QString &placeholder, const QString &text,
                                         int verticalPadding, QWidget *parent) {
    auto *field = new QLineEdit(text, parent);
    field->setPlaceholderText(placeholder);
    field->setFont(TovalitTokens::FontStyle::body());
    field->setStyleSheet(
        QStringLiteral("QLineEdit { background: white; border: 1px solid "
                       "rgba(0, 0, 0, 40); border-radius: 6px; padding: %1px 8px; }"
                       "QLineEdit:focus { border: 1px solid %2; }")
            .arg(verticalPadding)
            .arg(TovalitPalette::brandStrong().name()));
    return field;
}

QVBoxLayout *TovalitEditorSheet::labelled(const QString &caption, QWidget *field, QWidget *parent) {
    auto *stack = new QVBoxLayout;
    stack->setSpacing(8);
    stack->addWidget(new TovalitTextLabel(caption, TovalitTextStyle::headline(),
                                          TovalitPalette::primary(), parent));
    stack->addWidget(field);
    return stack;
}

} // namespace tovalit
