// Another application on the clipboard for the snapshot tests: it offers a
// text and one image in several encodings, each as large as asked, and
// prints every form it is asked for ("served image/png") as it serves it.
// Prints "ready" once the clipboard is its own.
//
//   clipboard_owner --text T --image-bytes N --image-types image/png,image/bmp

#include <QApplication>
#include <QClipboard>
#include <QCommandLineParser>
#include <QMimeData>
#include <QTimer>

#include <cstdio>

namespace {

class ServedData final : public QMimeData {
public:
    ServedData(QString text, QStringList imageTypes, qsizetype imageBytes)
        : m_text(std::move(text))
        , m_imageTypes(std::move(imageTypes))
        , m_imageBytes(imageBytes) {}

    QStringList formats() const override {
        return QStringList{QStringLiteral("text/plain")} + m_imageTypes;
    }
    bool hasFormat(const QString &type) const override { return formats().contains(type); }

protected:
    QVariant retrieveData(const QString &type, QMetaType preferred) const override {
        std::printf("served %s\n", qPrintable(type));
        std::fflush(stdout);
        if (type == u"text/plain") {
            if (preferred.id() == QMetaType::QString)
                return m_text;
            return m_text.toUtf8();
        }
        if (!m_imageTypes.contains(type))
            return {};
        // Each encoding starts with its own name, so a reader can tell
        // which one it got.
        QByteArray bytes = type.toLatin1();
        bytes.append(QByteArray(m_imageBytes - bytes.size(), '\x5a'));
        return bytes;
    }

private:
    QString m_text;
    QStringList m_imageTypes;
    qsizetype m_imageBytes;
};

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"text", "The text offered.", "text"},
                       {"image-bytes", "The size of each image encoding.", "bytes", "0"},
                       {"image-types", "The image encodings offered.", "types"}});
    parser.process(app);
    const QStringList imageTypes =
        parser.value("image-types").split(QLatin1Char(','), Qt::SkipEmptyParts);
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(
        new ServedData(parser.value("text"), imageTypes, parser.value("image-bytes").toLongLong()),
        QClipboard::Clipboard);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!clipboard->ownsClipboard())
            return;
        poll.stop();
        std::printf("ready\n");
        std::fflush(stdout);
    });
    poll.start(10);
    return QApplication::exec();
}
