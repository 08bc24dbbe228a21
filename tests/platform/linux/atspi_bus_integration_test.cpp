#include "platform/accessibility_thread.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_element.h"
#include "tests/support/atspi_application_stand_in.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/test_session.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::AtspiApplicationStandIn;
using testing::runTask;
using App = AtspiApplicationStandIn;

constexpr quint64 shown = App::showing | App::visible;

// The client reads on the accessibility thread while the stand-in answers
// on the test's.
class AtspiBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        app = App::start();
        ASSERT_TRUE(app);
    }

    void TearDown() override {
        thread->post([bus = std::move(bus)]() mutable { bus.reset(); });
    }

    // The application's focused element, as the path of its object.
    QString focusedElement() {
        return runTask(thread->run([bus = bus, service = app->service()] {
            if (!bus->connectIfEnabled())
                return QStringLiteral("<not connected>");
            return bus->focusedElement(service).value_or(AtspiObject{}).path;
        }));
    }

    std::optional<AccessibilityRange> selectedRange(const QString &path) {
        return runTask(thread->run([bus = bus, object = AtspiObject{app->service(), path}] {
            bus->connectIfEnabled();
            AtspiElement element(bus, AtspiElement::Kind::Object, object);
            return accessibilityValueAs<AccessibilityRange>(
                element.attributeValue(ax::selectedTextRange));
        }));
    }

    std::unique_ptr<App> app;
    std::shared_ptr<AccessibilityThread> thread = std::make_shared<AccessibilityThread>();
    std::shared_ptr<AtspiBus> bus = std::make_shared<AtspiBus>();
};

// The field found last time is reused only where a search from the active
// window would still find it: GTK 4 leaves the field of a popover it hid in
// the focused state, and a window that went to the back keeps its focus.
TEST_F(AtspiBusTest, AFieldLeftFocusedInAHiddenPopoverOrABackWindowIsNotTheFocus) {
    const QString window = app->add(App::rootPath(), QStringLiteral("frame"), App::active | shown);
    const QString popover = app->add(window, QStringLiteral("popover"), shown);
    const QString search =
        app->add(popover, QStringLiteral("entry"), App::focused | App::editable | shown);
    app->setText(search, QStringLiteral("查找"), 2);
    const QString body = app->add(window, QStringLiteral("panel"), App::visible);
    const QString view = app->add(body, QStringLiteral("text"), App::editable | shown);
    app->setText(view, QStringLiteral("第一段"), 3);
    ASSERT_EQ(focusedElement(), search);

    app->setStates(popover, 0);
    app->setStates(view, App::focused | App::editable | shown);
    EXPECT_EQ(focusedElement(), view) << "the hidden popover's field was reused";

    const QString other = app->add(App::rootPath(), QStringLiteral("frame"), App::active | shown);
    const QString note =
        app->add(other, QStringLiteral("entry"), App::focused | App::editable | shown);
    app->setStates(window, shown);
    EXPECT_EQ(focusedElement(), note) << "the back window's field was reused";
}

// Firefox says -1 of the caret of an empty text area that has the focus;
// with text in it, or without the focus, -1 says nothing of where it is.
TEST_F(AtspiBusTest, AFocusedEmptyTextWhoseCaretIsMinusOneHasItAtItsStart) {
    const QString window = app->add(App::rootPath(), QStringLiteral("frame"), App::active | shown);
    const QString area =
        app->add(window, QStringLiteral("entry"), App::focused | App::editable | shown);
    app->setText(area, QString(), -1);
    const QString filled =
        app->add(window, QStringLiteral("entry"), App::focused | App::editable | shown);
    app->setText(filled, QStringLiteral("已有"), -1);
    const QString elsewhere = app->add(window, QStringLiteral("entry"), App::editable | shown);
    app->setText(elsewhere, QString(), -1);

    EXPECT_EQ(selectedRange(area), (AccessibilityRange{0, 0}));
    EXPECT_EQ(selectedRange(filled), std::nullopt);
    EXPECT_EQ(selectedRange(elsewhere), std::nullopt);
}

} // namespace
} // namespace tovalit
