#pragma once

#include "tests/support/run_task.h"
#include "views/design/tovalit_editor_sheet.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_text_label.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace tovalit::testing {

// A collection page over a fake model, shown at the window's size, whose
// editor sheet the tests open and type into.
template <class Page, class Model>
class EditorSheetTest : public ::testing::Test {
protected:
    EditorSheetTest() {
        page = std::make_unique<Page>(model);
        page->resize(960, 800);
        page->show();
        pumpEvents();
    }

    auto &openNew() {
        page->addButton()->click();
        EXPECT_TRUE(page->isEditorPresented());
        return *page->editorSheet();
    }

    // Through the menu of the first card listed.
    auto &openFirstCard() {
        auto *card = page->entryCards().value(0);
        EXPECT_NE(card, nullptr);
        card->menuButton()->itemMenu()->actions().value(0)->trigger();
        EXPECT_TRUE(page->isEditorPresented());
        return *page->editorSheet();
    }

    // Replaces the field's text the way an input method commits it.
    static void type(QLineEdit *field, const QString &text) {
        field->setFocus();
        field->selectAll();
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QApplication::sendEvent(field, &commit);
        if (text.isEmpty())
            QTest::keyClick(field, Qt::Key_Backspace);
    }

    static std::optional<QString> message(const TovalitEditorSheet &sheet) {
        if (sheet.validationLabel()->isHidden())
            return std::nullopt;
        return sheet.validationLabel()->text();
    }

    std::shared_ptr<Model> model = std::make_shared<Model>();
    std::unique_ptr<Page> page;
};

} // namespace tovalit::testing
