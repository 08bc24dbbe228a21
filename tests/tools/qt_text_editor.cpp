// A plain Qt text editor for integration tests: one window holding a text
// with the caret (or a selection) where the test says. Prints "ready" once
// the window is active and the editor has the keyboard focus.
//
//   qt_text_editor --window-title T --text "hello world" --caret 5 [--anchor 0]
//                  [--point-size 14] [--line-edit] [--read-only]

#include <QApplication>
#include <QCommandLineParser>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"window-title", "Window title.", "title", "Qt editor"},
                       {"text", "Initial text.", "text"},
                       {"caret", "Caret position (UTF-16).", "offset", "-1"},
                       {"anchor", "Selection anchor (UTF-16).", "offset", "-1"},
                       {"point-size", "Font size.", "points", "14"},
                       {"line-edit", "A single-line field instead."},
                       {"read-only", "The text cannot be changed."}});
    parser.process(app);
    const QString text = parser.value("text");
    const int caret = parser.value("caret").toInt();
    const int anchor = parser.value("anchor").toInt();

    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPointSize(parser.value("point-size").toInt());

    QWidget *editor = nullptr;
    if (parser.isSet("line-edit")) {
        auto *line = new QLineEdit(text);
        if (caret >= 0 && anchor >= 0)
            line->setSelection(anchor, caret - anchor);
        else if (caret >= 0)
            line->setCursorPosition(caret);
        line->setReadOnly(parser.isSet("read-only"));
        editor = line;
    } else {
        auto *plain = new QPlainTextEdit;
        plain->setPlainText(text);
        QTextCursor cursor = plain->textCursor();
        if (anchor >= 0)
            cursor.setPosition(anchor);
        if (caret >= 0)
            cursor.setPosition(caret,
                               anchor >= 0 ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
        plain->setTextCursor(cursor);
        plain->setReadOnly(parser.isSet("read-only"));
        editor = plain;
    }
    editor->setFont(font);
    // A window around the editor, as applications have.
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(editor);
    window.setWindowTitle(parser.value("window-title"));
    window.resize(640, 360);
    window.show();
    window.activateWindow();
    editor->setFocus();

    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout, [&] {
        if (editor->isActiveWindow() && editor->hasFocus()) {
            std::printf("ready\n");
            std::fflush(stdout);
            ready.stop();
        }
    });
    ready.start(20);
    return app.exec();
}
