#include "platform/linux/ini_document.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

// Values whose INI text needs every rule of the dialect: quoting, escapes,
// lists, UTF-8, '@' prefixes, control characters and raw bytes.
const QList<std::pair<QString, QVariant>> &trickyValues() {
    static const QList<std::pair<QString, QVariant>> values{
        {QStringLiteral("plain"), QStringLiteral("zh-CN")},
        {QStringLiteral("empty"), QString()},
        {QStringLiteral("comma"), QStringLiteral("a, b")},
        {QStringLiteral("semicolon"), QStringLiteral("a;b=c")},
        {QStringLiteral("spaces"), QStringLiteral("  padded  ")},
        {QStringLiteral("quotes"), QStringLiteral("say \"hi\" \\ back")},
        {QStringLiteral("lines"), QStringLiteral("one\ntwo\r\tthree")},
        {QStringLiteral("control"),
         QString(QString(QChar(1)) + QStringLiteral("5f") + QChar(0x7f))},
        {QStringLiteral("chinese"), QStringLiteral("个人词库，保存")},
        {QStringLiteral("emoji"), QString::fromUtf8("\xF0\x9F\x8E\xA4 mic")},
        {QStringLiteral("at"), QStringLiteral("@ByteArray(x)")},
        {QStringLiteral("nul"), QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"))},
        {QStringLiteral("data"), QByteArray("{\"kind\":1}\n\0\x01\x7f\xff\xc3\xa9 9", 17)},
        {QStringLiteral("emptyData"), QByteArray("")},
        {QStringLiteral("odd key = ；%"), QStringLiteral("odd")},
        {QStringLiteral("Group/inner"), QStringLiteral("grouped")},
        {QStringLiteral("general"), QStringLiteral("not the root section")},
    };
    return values;
}

QByteArray qsettingsText(const QString &folder, const QList<std::pair<QString, QVariant>> &values) {
    const QString path = folder + QStringLiteral("/qt.ini");
    {
        QSettings settings(path, QSettings::IniFormat);
        for (const auto &[key, value] : values)
            settings.setValue(key, value);
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(IniDocument, ReadsWhatQSettingsWritesAndWritesWhatItReads) {
    QTemporaryDir folder;
    const QByteArray written = qsettingsText(folder.path(), trickyValues());
    const IniDocument parsed = IniDocument::parse(written);
    IniDocument ours;
    for (const auto &[key, value] : trickyValues()) {
        EXPECT_EQ(parsed.value(key), std::optional<QVariant>(value)) << key.toStdString();
        if (value.typeId() == QMetaType::QByteArray)
            ours.setData(key, value.toByteArray());
        else
            ours.setString(key, value.toString());
    }

    // Our text, read by QSettings.
    const QString path = folder.filePath(QStringLiteral("ours.ini"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ours.toBytes());
    file.close();
    const QSettings settings(path, QSettings::IniFormat);
    for (const auto &[key, value] : trickyValues())
        EXPECT_EQ(settings.value(key), value) << key.toStdString();

    // Entry by entry the same text as QSettings writes.
    for (const auto &[key, value] : trickyValues()) {
        if (key.contains(u'/'))
            continue;
        const QByteArray line = IniDocument::escapedKey(key) + '=' +
                                (value.typeId() == QMetaType::QByteArray
                                     ? IniDocument::escapedData(value.toByteArray())
                                     : IniDocument::escapedString(value.toString()));
        EXPECT_TRUE(written.contains(QByteArray('\n' + line + '\n'))) << line.toStdString();
    }
}

TEST(IniDocument, ChangingAKeyKeepsEveryOtherEntryAsWritten) {
    const QByteArray handEdited = "; set by hand\n"
                                  "[General]\n"
                                  "vellup_transcriber.enableDebugLogging = yes\n"
                                  "list=a, \"b, c\" ,d\n"
                                  "rect=@Rect(1 2 3 4)\n"
                                  "keepAudio=true\n"
                                  "\n"
                                  "[window]\n"
                                  "size=@Size(10 20)\n";
    IniDocument document = IniDocument::parse(handEdited);
    EXPECT_EQ(document.value(QStringLiteral("vellup_transcriber.enableDebugLogging")),
              std::optional<QVariant>(QStringLiteral("yes")));
    EXPECT_EQ(document.value(QStringLiteral("list")),
              std::optional<QVariant>(QStringList{"a", "b, c", "d"}));
    // Kinds kept only as text read as nothing of use, but are there.
    EXPECT_EQ(document.value(QStringLiteral("rect")), std::optional<QVariant>(QVariant()));
    EXPECT_TRUE(document.contains(QStringLiteral("window/size")));
    EXPECT_FALSE(document.value(QStringLiteral("missing")));

    document.setString(QStringLiteral("keepAudio"), QStringLiteral("false"));
    document.setString(QStringLiteral("added"), QStringLiteral("new"));
    document.remove(QStringLiteral("list"));
    EXPECT_EQ(document.toBytes(), QByteArray("[General]\n"
                                             "vellup_transcriber.enableDebugLogging= yes\n"
                                             "rect=@Rect(1 2 3 4)\n"
                                             "keepAudio=false\n"
                                             "added=new\n"
                                             "\n"
                                             "[window]\n"
                                             "size=@Size(10 20)\n"));

    // Keys before any section and a later "[general]" are one root; the
    // last of a repeated key counts.
    const IniDocument loose = IniDocument::parse("a=1\n[general]\na=2\n");
    EXPECT_EQ(loose.value(QStringLiteral("a")), std::optional<QVariant>(QStringLiteral("2")));
    IniDocument empty = IniDocument::parse({});
    empty.setString(QStringLiteral("a"), QStringLiteral("1"));
    EXPECT_EQ(empty.toBytes(), QByteArray("[General]\na=1\n"));
}

TEST(IniDocument, AFileCutInsideAQuotedValueKeepsItsSizeOverSaves) {
    // A writer stopped in the middle of a quoted value leaves the quote open
    // to the end of the file; saves after it must not pile up line breaks.
    QByteArray text = "[General]\nkeep=1\nshortcut=\"@ByteArray({\\\"kind\\\":\\\"key";
    for (int save = 1; save <= 3; ++save) {
        IniDocument document = IniDocument::parse(text);
        document.setString(QStringLiteral("keep"), QString::number(save));
        text = document.toBytes();
        EXPECT_TRUE(text.endsWith("\\\"key\n")) << "save " << save << ": " << text.toStdString();
    }
}

TEST(IniDocument, UnpairedSurrogateEscapesReadAsReplacementCharacters) {
    // A hand edit (or a fuzzer) can escape half of a surrogate pair; what
    // reads must still be valid text. A whole pair stays the character.
    const IniDocument document = IniDocument::parse("[General]\n"
                                                    "lone=a\\xdc00z\n"
                                                    "pair=\\xd83c\\xdfa4\n"
                                                    "list=\\xd800, x\n"
                                                    "%UD800key=1\n");
    EXPECT_EQ(document.value(QStringLiteral("lone")), QVariant(QStringLiteral("a\uFFFDz")));
    EXPECT_EQ(document.value(QStringLiteral("pair")),
              QVariant(QString::fromUtf8("\xF0\x9F\x8E\xA4")));
    EXPECT_EQ(document.value(QStringLiteral("list")),
              QVariant(QStringList{QStringLiteral("\uFFFD"), QStringLiteral("x")}));
    EXPECT_TRUE(document.contains(QStringLiteral("\uFFFDkey")));
}

} // namespace
} // namespace tovalit
