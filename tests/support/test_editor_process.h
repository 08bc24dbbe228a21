#pragma once

#include "tests/support/test_session.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace tovalit::testing {

// A stand-in application the desktop tests type into: the Qt or GTK 3
// editor from tests/tools, started in a process of its own with its
// accessibility switched on, and stopped when the object goes.
class TestEditorProcess {
public:
    // Qt is a multi-line QPlainTextEdit, QtLineEdit a one-line QLineEdit.
    enum class Toolkit { Qt, Gtk, QtLineEdit };
    // pastedClipboard: editable, with what the desktop's clipboard held
    // pasted at the caret once the field has the focus (GTK only).
    enum class Field { editable, readOnly, pastedClipboard };

    // Starts the editor and waits (bounded) until its window is active and
    // the editor has the focus; a failure is reported to the test and
    // gives nothing. Offsets: UTF-16 for Qt, characters for GTK.
    static std::unique_ptr<TestEditorProcess> start(Toolkit toolkit, const QString &title,
                                                    const QString &text, int caret, int anchor = -1,
                                                    Field field = Field::editable);
    ~TestEditorProcess();

    qint32 processIdentifier() const;

private:
    TestEditorProcess() = default;
    QProcess m_process;
};

// The path of a tool built from tests/tools.
QString testToolPath(const QString &name);

// Switches the session's accessibility on or off (org.a11y.Status), as a
// user's desktop setting would. Returns whether the bus took it.
bool setDesktopAccessibilityEnabled(bool enabled);

} // namespace tovalit::testing
