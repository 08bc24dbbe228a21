#pragma once

#include "views/design/tovalit_sheet.h"

#include <functional>
#include <optional>

class QLineEdit;
class QVBoxLayout;

namespace tovalit {

class TovalitButton;
class TovalitTextLabel;

// A sheet that edits a draft its owner keeps: a title and an explanation
// over the fields a subclass adds, its validation message, and a row with
// cancel and save. It only reports the two buttons: storing and closing
// are the owner's.
class TovalitEditorSheet : public TovalitSheet {
    Q_OBJECT
public:
    TovalitTextLabel *titleLabel() const { return m_title; }
    TovalitTextLabel *explanationLabel() const { return m_explanation; }
    // Hidden while the draft may be saved.
    TovalitTextLabel *validationLabel() const { return m_validation; }
    TovalitButton *cancelButton() const { return m_cancelButton; }
    TovalitButton *primaryButton() const { return m_primaryButton; }

protected:
    TovalitEditorSheet(const QSize &size, std::function<void()> onCancel,
                       std::function<void()> onSave, QWidget *parent);

    // Why the draft cannot be saved as it stands, if it cannot.
    virtual std::optional<QString> validationMessage() const = 0;

    // The sheet's column, with the heading already in it.
    QVBoxLayout *column() const { return m_column; }
    // Closes the column with the cancel and save buttons.
    void addButtonRow();
    // The title and save text the draft asks for, and its validation.
    void showDraftState(const QString &title, const QString &primaryTitle);

    static QLineEdit *makeField(const QString &placeholder, const QString &text,
                                int verticalPadding, QWidget *parent);
    // A caption above its field.
    static QVBoxLayout *labelled(const QString &caption, QWidget *field, QWidget *parent);

private:
    TovalitTextLabel *m_title;
    TovalitTextLabel *m_explanation;
    TovalitTextLabel *m_validation;
    TovalitButton *m_cancelButton;
    TovalitButton *m_primaryButton;
    QVBoxLayout *m_column;
};

} // namespace tovalit
