#include "platform/linux/tesseract_text_recognizer.h"

#include <QLoggingCategory>

#include <dlfcn.h>
#include <malloc.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

Q_LOGGING_CATEGORY(lcOcr, "tovalit.ocr")

namespace tovalit {

namespace {

bool isCjk(char32_t c) {
    return (c >= 0x3000 && c <= 0x303F) || // CJK punctuation
           (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFF60) || // full-width forms
           (c >= 0x20000 && c <= 0x2FA1F);
}

// Halves the image (averaging 2×2 blocks) until it has at most `maxPixels`.
CapturedImage downscaled(const CapturedImage &image, qint64 maxPixels) {
    CapturedImage current = image;
    while (qint64(current.width) * current.height > maxPixels && current.width > 1 &&
           current.height > 1) {
        CapturedImage half;
        half.width = current.width / 2;
        half.height = current.height / 2;
        half.bytesPerLine = half.width;
        half.pixels.resize(qsizetype(half.width) * half.height);
        const auto *in = reinterpret_cast<const uint8_t *>(current.pixels.constData());
        auto *out = reinterpret_cast<uint8_t *>(half.pixels.data());
        for (int y = 0; y < half.height; ++y) {
            const uint8_t *top = in + qsizetype(2 * y) * current.bytesPerLine;
            const uint8_t *bottom = top + current.bytesPerLine;
            for (int x = 0; x < half.width; ++x)
                out[qsizetype(y) * half.width + x] = uint8_t(
                    (top[2 * x] + top[2 * x + 1] + bottom[2 * x] + bottom[2 * x + 1] + 2) / 4);
        }
        current = std::move(half);
    }
    return current;
}

// Tesseract parallelises its network with OpenMP, and the helper threads
// spin while they wait: on two cores recognition took three times as long
// as on one thread, and starved the application being dictated into. The
// thread limit is read from the environment only at start-up, so inactive
// parallel regions (no active levels) are what keeps it to one thread.
void limitOpenMpThreads() {
    using SetInt = void (*)(int);
    if (auto set = reinterpret_cast<SetInt>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels")))
        set(0);
    if (auto set = reinterpret_cast<SetInt>(dlsym(RTLD_DEFAULT, "omp_set_num_threads")))
        set(1);
}

} // namespace

QString joinCjkSpacing(const QString &line) {
    const std::u32string text = line.toStdU32String();
    std::u32string joined;
    joined.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == U' ' && !joined.empty() && isCjk(joined.back())) {
            size_t next = i;
            while (next < text.size() && text[next] == U' ')
                ++next;
            if (next < text.size() && isCjk(text[next])) {
                i = next - 1;
                continue;
            }
        }
        joined.push_back(text[i]);
    }
    return QString::fromStdU32String(joined);
}

TesseractTextRecognizer::TesseractTextRecognizer()
    : TesseractTextRecognizer(Options()) {}

TesseractTextRecognizer::TesseractTextRecognizer(Options options)
    : m_options(std::move(options)) {}

TesseractTextRecognizer::~TesseractTextRecognizer() {
    std::lock_guard lock(m_mutex);
    if (m_engine)
        m_engine->End();
}

void TesseractTextRecognizer::releaseResources() {
    std::lock_guard lock(m_mutex);
    if (!m_engine)
        return;
    // A loaded engine holds some 55 MB (the Chinese model's legacy
    // classifier tables are built even for the LSTM engine, and no setting
    // of this version skips them), against a few hundred milliseconds of
    // loading at the next capture, which runs while the user speaks.
    m_engine->End();
    m_engine.reset();
    // The dictionaries outlive the engine in a process-wide cache unless
    // asked; only those no engine uses go.
    tesseract::TessBaseAPI::ClearPersistentCache();
    // The tables were tens of thousands of small blocks; without a trim
    // the pages they freed stay resident in the allocator's arenas.
    malloc_trim(0);
}

bool TesseractTextRecognizer::ensureEngine() {
    if (m_engine)
        return true;
    if (m_engineFailed)
        return false;
    limitOpenMpThreads();
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    const QByteArray dataPath = m_options.dataPath.toLocal8Bit();
    const QByteArray languages = m_options.languages.toUtf8();
    if (engine->Init(dataPath.isEmpty() ? nullptr : dataPath.constData(), languages.constData(),
                     tesseract::OEM_LSTM_ONLY) != 0) {
        qCWarning(lcOcr) << "text recognition unavailable: no models for" << m_options.languages;
        m_engineFailed = true;
        return false;
    }
    engine->SetVariable("debug_file", "/dev/null");
    engine->SetPageSegMode(tesseract::PSM_AUTO);
    m_engine = std::move(engine);
    return true;
}

std::optional<QStringList> TesseractTextRecognizer::recognizeLines(const CapturedImage &image) {
    if (image.isNull() || image.pixels.size() < qsizetype(image.bytesPerLine) * image.height)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    if (!ensureEngine())
        return std::nullopt;
    limitOpenMpThreads();
    const CapturedImage scaled = downscaled(image, m_options.maxPixels);
    m_engine->SetImage(reinterpret_cast<const unsigned char *>(scaled.pixels.constData()),
                       scaled.width, scaled.height, 1, scaled.bytesPerLine);
    m_engine->SetSourceResolution(96);
    tesseract::ETEXT_DESC monitor;
    monitor.set_deadline_msecs(m_options.deadlineMilliseconds);
    const int status = m_engine->Recognize(&monitor);
    if (status != 0 || monitor.deadline_exceeded()) {
        m_engine->Clear();
        return std::nullopt;
    }
    QStringList lines;
    std::unique_ptr<tesseract::ResultIterator> it(m_engine->GetIterator());
    if (it) {
        do {
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (!text)
                continue;
            QString line = QString::fromUtf8(text.get());
            while (line.endsWith(QLatin1Char('\n')))
                line.chop(1);
            lines.append(joinCjkSpacing(line));
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    m_engine->Clear();
    return lines;
}

} // namespace tovalit
