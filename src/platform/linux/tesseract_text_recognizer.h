#pragma once

#include "platform/text_recognizer.h"

#include <memory>
#include <mutex>

namespace tesseract {
class TessBaseAPI;
}

namespace tovalit {

// Text recognition with Tesseract's LSTM models for Simplified Chinese and
// English. One engine, loaded at the first recognition and kept until
// releaseResources(), used by one caller at a time. Large images are scaled
// down first, and a recognition that runs past its deadline gives nothing
// rather than holding up the caller.
class TesseractTextRecognizer final : public TextRecognizer {
public:
    struct Options {
        QString languages = QStringLiteral("chi_sim+eng");
        // Tesseract's own search path when empty.
        QString dataPath;
        int deadlineMilliseconds = 1500;
        // Images with more pixels are halved until they fit.
        qint64 maxPixels = 2'000'000;
    };

    TesseractTextRecognizer();
    explicit TesseractTextRecognizer(Options options);
    ~TesseractTextRecognizer() override;

    std::optional<QStringList> recognizeLines(const CapturedImage &image) override;
    void releaseResources() override;

private:
    bool ensureEngine();

    Options m_options;
    std::mutex m_mutex;
    std::unique_ptr<tesseract::TessBaseAPI> m_engine;
    bool m_engineFailed = false;
};

// Tesseract's Chinese model separates every character with a space; joined
// again where both neighbours are CJK, the text reads as written.
QString joinCjkSpacing(const QString &line);

} // namespace tovalit
