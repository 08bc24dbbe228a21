#pragma once

#include "tests/app/shell_test_support.h"

#include <QAbstractButton>
#include <QLabel>

namespace tovalit::testing {

// The objects every window page observes, over the shell's doubles.
class WindowPagesTest : public WithDiagnosticsLog {
protected:
    WindowPagesTest() { doubles.grantEverything(); }
    ~WindowPagesTest() override {
        viewModel.reset();
        processEventsFor(std::chrono::milliseconds(10));
    }

    void makeObjects(QList<PermissionKind> kinds = {PermissionKind::microphone,
                                                    PermissionKind::inputMonitoring,
                                                    PermissionKind::accessibility}) {
        store = std::make_unique<AppConfigurationStore>(*doubles.defaults,
                                                        ShellDoubles::gatewayEnvironment());
        permissions = std::make_unique<PermissionCoordinator>(
            *store, kinds, doubles.permissionDependencies(&activity));
        viewModel = doubles.makeViewModel(*store);
    }

    // The text of the labelled child `name` of `parent`.
    template <typename Widget = QLabel>
    static QString textOf(const QWidget &parent, const QString &name) {
        auto *child = parent.findChild<Widget *>(name);
        return child ? child->text() : QStringLiteral("<no %1>").arg(name);
    }

    // The button titled `title` among the children of `parent`, or null.
    template <typename Button = QAbstractButton>
    static Button *buttonTitled(const QWidget &parent, const QString &title) {
        for (Button *button : parent.findChildren<Button *>()) {
            if (button->text() == title)
                return button;
        }
        return nullptr;
    }

    static QStringList buttonTitles(const QWidget &parent) {
        QStringList titles;
        for (QAbstractButton *button : parent.findChildren<QAbstractButton *>()) {
            if (button->isVisibleTo(&parent))
                titles << button->text();
        }
        return titles;
    }

    ShellDoubles doubles{folders.dataFolder()};
    ApplicationActivity activity;
    std::unique_ptr<AppConfigurationStore> store;
    std::unique_ptr<PermissionCoordinator> permissions;
    std::unique_ptr<TranscriberViewModel> viewModel;
};

} // namespace tovalit::testing
