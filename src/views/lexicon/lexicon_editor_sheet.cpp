#include "views/lexicon/lexicon_editor_sheet.h"

#include "views/design/tovalit_button.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace tovalit {

LexiconEditorSheet::LexiconEditorSheet(LexiconEditorDraft &draft, std::function<void()> onCancel,
                                       std::function<void()> onSave, QWidget *parent)
    : TovalitEditorSheet(sheetSize, std::move(onCancel), std::move(onSave), parent)
    , m_draft(draft)
    , m_targetField(makeField(QStringLiteral("比如 Tovalit、MacBook、Kubernetes、张三"),
                              draft.targetText, 4, this))
    , m_sourceField(makeField(QStringLiteral("如果经常被识别成别的词，可填在这里"),
                              draft.sourceText, 4, this))
    , m_enabledToggle(new QCheckBox(QStringLiteral("保存后立即启用"), this)) {
    setObjectName(QStringLiteral("LexiconEditorSheet"));
    m_targetField->setObjectName(QStringLiteral("LexiconTargetField"));
    m_sourceField->setObjectName(QStringLiteral("LexiconSourceField"));
    m_enabledToggle->setObjectName(QStringLiteral("LexiconEnabledToggle"));
    validationLabel()->setObjectName(QStringLiteral("LexiconValidationMessage"));
    cancelButton()->setObjectName(QStringLiteral("LexiconCancelButton"));
    primaryButton()->setObjectName(QStringLiteral("LexiconSaveButton"));
    m_enabledToggle->setChecked(draft.enabled);
    m_enabledToggle->setFont(TovalitTokens::FontStyle::body());
    validationLabel()->setWraps(false);
    explanationLabel()->setText(
        QStringLiteral("直接输入你希望保留的词条内容；如果这是常见误识别，再补充原识别词，Tovalit "
                       "会自动判断怎么学习。"));

    QVBoxLayout *column = this->column();
    column->addLayout(labelled(QStringLiteral("词条内容"), m_targetField, this));
    column->addLayout(labelled(QStringLiteral("原识别词（可选）"), m_sourceField, this));
    column->addWidget(m_enabledToggle);
    column->addWidget(validationLabel());
    addButtonRow();

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
    refresh();
    fitRowsIntoTheSheet();
    m_targetField->setFocus();
}

void LexiconEditorSheet::fitRowsIntoTheSheet() {
    // The sheet keeps its size. Chinese text sets taller lines here than the
    // design was drawn with, so the gaps between the rows give way (down to
    // a floor) until every row fits whole with the message shown.
    QVBoxLayout *column = this->column();
    int rows = validationLabel()->isHidden() ? 1 : 0;
    for (int index = 0; index < column->count(); ++index) {
        if (!column->itemAt(index)->isEmpty())
            ++rows;
    }
    const int gaps = rows - 1;
    int needed = column->totalHeightForWidth(sheetSize.width());
    if (validationLabel()->isHidden())
        needed += validationLabel()->sizeHint().height() + column->spacing();
    const int rowsHeight = needed - gaps * column->spacing();
    column->setSpacing(
        std::clamp((sheetSize.height() - rowsHeight) / gaps, minimumRowSpacing, column->spacing()));
}

std::optional<QString> LexiconEditorSheet::validationMessage() const {
    return m_draft.validationMessage();
}

void LexiconEditorSheet::refresh() {
    showDraftState(m_draft.title(), m_draft.primaryButtonTitle());
}

} // namespace tovalit
