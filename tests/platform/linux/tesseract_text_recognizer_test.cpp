#include "platform/linux/tesseract_text_recognizer.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>
#include <iostream>

namespace tovalit {
namespace {

// Text drawn the way a window shows it: dark on light, a CJK font.
CapturedImage render(const QStringList &lines, int pixelSize, QSize size) {
    QImage image(size, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(pixelSize);
    painter.setFont(font);
    painter.setPen(Qt::black);
    int y = pixelSize * 2;
    for (const QString &line : lines) {
        painter.drawText(20, y, line);
        y += pixelSize * 2;
    }
    painter.end();
    CapturedImage captured;
    captured.width = image.width();
    captured.height = image.height();
    captured.bytesPerLine = int(image.bytesPerLine());
    captured.pixels =
        QByteArray(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
    return captured;
}

// 1 − edit distance / length, on the texts without white space.
double characterAccuracy(const QString &expected, const QString &actual) {
    const auto squeeze = [](QString text) {
        text.remove(QLatin1Char(' '));
        text.remove(QLatin1Char('\n'));
        return text.toStdU32String();
    };
    const std::u32string a = squeeze(expected);
    const std::u32string b = squeeze(actual);
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return 1.0 - double(row[b.size()]) / double(a.size());
}

TEST(TesseractTextRecognizer, RecognisesChineseAndEnglishOfARenderedCrop) {
    TesseractTextRecognizer recognizer;
    const QString expected = QStringLiteral("今天下午三点开会 Meeting at 3pm");
    const auto lines = recognizer.recognizeLines(render({expected}, 22, QSize(442, 160)));
    ASSERT_TRUE(lines) << "recognition failed";
    const QString text = lines->join(QLatin1Char('\n'));
    const double accuracy = characterAccuracy(expected, text);
    std::cout << "recognised \"" << text.toStdString() << "\", character accuracy "
              << accuracy * 100 << " %\n";
    RecordProperty("character_accuracy", std::to_string(accuracy));
    EXPECT_GE(accuracy, 0.95);
    EXPECT_TRUE(text.contains(QStringLiteral("今天下午三点开会"))) << "no spaces between Chinese";
}

TEST(TesseractTextRecognizer, RecognisesAgainAfterReleasingItsModels) {
    TesseractTextRecognizer recognizer;
    recognizer.releaseResources(); // nothing loaded yet
    const CapturedImage image = render({QStringLiteral("今天下午三点开会")}, 22, QSize(300, 80));
    const auto first = recognizer.recognizeLines(image);
    recognizer.releaseResources();
    const auto second = recognizer.recognizeLines(image);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second) << "no recognition after a release";
    EXPECT_EQ(*second, *first);
    EXPECT_TRUE(first->join(QString()).contains(QStringLiteral("开会")))
        << first->join(QLatin1Char('\n')).toStdString();
}

TEST(TesseractTextRecognizer, LinesComeTopToBottomAndLargeImagesAreScaledDown) {
    TesseractTextRecognizer::Options options;
    options.maxPixels = 600'000;
    TesseractTextRecognizer recognizer(options);
    // 1600 × 800 is halved once; text this size stays readable.
    const auto lines = recognizer.recognizeLines(
        render({QStringLiteral("第一行 First line"), QStringLiteral("第二行 Second line")}, 44,
               QSize(1600, 800)));
    ASSERT_TRUE(lines);
    const QString text = lines->join(QLatin1Char('\n'));
    EXPECT_LT(text.indexOf(QStringLiteral("First")), text.indexOf(QStringLiteral("Second")));
    EXPECT_GE(characterAccuracy(QStringLiteral("第一行 First line\n第二行 Second line"), text), 0.9)
        << text.toStdString();

    const auto blank = recognizer.recognizeLines(render({}, 20, QSize(200, 100)));
    ASSERT_TRUE(blank);
    EXPECT_TRUE(blank->join(QString()).trimmed().isEmpty());
    EXPECT_EQ(recognizer.recognizeLines(CapturedImage{}), std::nullopt);
}

TEST(TesseractTextRecognizer, DeadlineGivesNothingRatherThanLateText) {
    TesseractTextRecognizer::Options options;
    options.deadlineMilliseconds = 1;
    TesseractTextRecognizer recognizer(options);
    QStringList page;
    for (int i = 0; i < 20; ++i)
        page << QStringLiteral("今天下午三点开会 Meeting at 3pm 第%1行").arg(i);
    EXPECT_EQ(recognizer.recognizeLines(render(page, 20, QSize(900, 900))), std::nullopt);
}

TEST(TesseractTextRecognizer, SpacesBetweenChineseCharactersAreJoined) {
    EXPECT_EQ(joinCjkSpacing(QStringLiteral("今 天 下午 ， 开会 at 3 pm")),
              QStringLiteral("今天下午，开会 at 3 pm"));
    EXPECT_EQ(joinCjkSpacing(QStringLiteral("a b")), QStringLiteral("a b"));
}

} // namespace
} // namespace tovalit
