#include "platform/linux/pocketsphinx_speech_engine.h"

#include "platform/pcm_converter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <pocketsphinx.h>
#include <thread>
#include <vector>

namespace tovalit {

namespace {

const PcmFormat decoderFormat{16000, 1, PcmSampleType::Int16, true};

// Partial hypotheses are asked for at most this often: the search's
// backtrace is not free on long segments.
constexpr size_t partialResultInterval = 1600; // 0.1 s of samples

// The decoder gets the audio in steps of one frame and its voice detection
// is asked after each: a pause is found where the audio has it, not at the
// end of whatever a busy decoder found waiting for it.
constexpr size_t decodingStep = 160; // 10 ms of samples

// The text of the utterances a task heard, one line each, as the segments
// of a transcript are.
QString joined(QStringList utterances, const QString &current) {
    if (!current.isEmpty())
        utterances.append(current);
    return utterances.join(u'\n');
}

struct Decoder {
    cmd_ln_t *config = nullptr;
    ps_decoder_t *decoder = nullptr;

    explicit Decoder(const PocketSphinxSpeechEngine::Model &model) {
        const QByteArray acoustic = QFile::encodeName(model.acousticModel);
        const QByteArray language = QFile::encodeName(model.languageModel);
        const QByteArray dictionary = QFile::encodeName(model.dictionary);
        config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", acoustic.constData(), "-lm",
                             language.constData(), "-dict", dictionary.constData(), "-logfn",
                             "/dev/null", nullptr);
        if (config)
            decoder = ps_init(config);
    }
    ~Decoder() {
        if (decoder)
            ps_free(decoder);
        if (config)
            cmd_ln_free_r(config);
    }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    QString hypothesis() const {
        int32 score = 0;
        const char *text = ps_get_hyp(decoder, &score);
        return text ? QString::fromUtf8(text) : QString();
    }
};

class SphinxTask;

// What a recogniser, its requests, its tasks and its thread share. The
// mutex guards the queue, the flags and every request's audio; nobody holds
// it while decoding or while a handler runs.
struct Core {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<SphinxTask>> queue;
    bool stopping = false;
    std::unique_ptr<Decoder> decoder;
};

class SphinxRequest : public OnDeviceRecognitionRequest {
public:
    explicit SphinxRequest(std::shared_ptr<Core> core)
        : m_core(std::move(core)) {}

    void append(const PcmBuffer &buffer) override {
        std::vector<qint16> converted;
        std::exception_ptr failure;
        {
            std::lock_guard lock(m_converterMutex);
            try {
                // One converter for the request's whole stream.
                if (!m_converter || !(m_converter->inputFormat() == buffer.format()))
                    m_converter.emplace(buffer.format(), decoderFormat);
                collect(m_converter->convert(buffer), converted);
            } catch (...) {
                failure = std::current_exception();
            }
        }
        {
            std::lock_guard lock(m_core->mutex);
            if (m_ended)
                return;
            m_samples.insert(m_samples.end(), converted.begin(), converted.end());
            if (failure && !m_failure)
                m_failure = failure;
        }
        m_core->wake.notify_all();
    }

    void endAudio() override {
        std::vector<qint16> tail;
        {
            std::lock_guard lock(m_converterMutex);
            if (m_converter) {
                try {
                    collect(m_converter->flush(), tail);
                } catch (...) {
                }
            }
        }
        {
            std::lock_guard lock(m_core->mutex);
            if (m_ended)
                return;
            m_samples.insert(m_samples.end(), tail.begin(), tail.end());
            m_ended = true;
        }
        m_core->wake.notify_all();
    }

    // With the core's mutex held.
    bool hasNews() const { return !m_samples.empty() || m_ended || m_failure; }
    std::vector<qint16> takeSamples() { return std::exchange(m_samples, {}); }
    bool ended() const { return m_ended; }
    std::exception_ptr failure() const { return m_failure; }

private:
    static void collect(const PcmBuffer &buffer, std::vector<qint16> &into) {
        const auto samples = buffer.samples<qint16>(0);
        into.insert(into.end(), samples.begin(), samples.end());
    }

    std::shared_ptr<Core> m_core;
    std::mutex m_converterMutex;
    std::optional<PcmConverter> m_converter;
    // Guarded by the core's mutex.
    std::vector<qint16> m_samples;
    bool m_ended = false;
    std::exception_ptr m_failure;
};

class SphinxTask : public OnDeviceRecognitionTask {
public:
    SphinxTask(std::shared_ptr<Core> core, std::shared_ptr<SphinxRequest> request,
               OnDeviceRecognitionHandler handler)
        : m_core(std::move(core))
        , m_request(std::move(request))
        , m_handler(std::move(handler)) {}

    void cancel() override {
        {
            std::lock_guard lock(m_core->mutex);
            m_cancelled = true;
        }
        m_core->wake.notify_all();
    }

    // On the recogniser's thread: decodes until the voice pauses, the audio
    // ends, or the task is cancelled. A pause the decoder reaches with more
    // audio already waiting behind it (it fell behind, or the audio has
    // ended) closes the utterance but not the task, so nothing waiting is
    // left behind and the text is the same however far behind it was.
    void run(Decoder &decoder) {
        ps_start_utt(decoder.decoder);
        QStringList closedUtterances;
        std::vector<qint16> pending;
        bool heardSpeech = false;
        size_t samplesSincePartial = 0;
        QString lastPartial;
        for (;;) {
            bool ended = false;
            std::exception_ptr failure;
            {
                std::unique_lock lock(m_core->mutex);
                m_core->wake.wait(lock, [this] {
                    return m_cancelled || m_core->stopping || m_request->hasNews();
                });
                if (m_cancelled || m_core->stopping) {
                    lock.unlock();
                    ps_end_utt(decoder.decoder);
                    return;
                }
                const std::vector<qint16> samples = m_request->takeSamples();
                pending.insert(pending.end(), samples.begin(), samples.end());
                ended = m_request->ended();
                failure = m_request->failure();
            }
            if (failure) {
                ps_end_utt(decoder.decoder);
                deliver(std::nullopt, failure);
                return;
            }
            size_t offset = 0;
            while (pending.size() - offset >= decodingStep || (ended && offset < pending.size())) {
                const size_t count = std::min(decodingStep, pending.size() - offset);
                ps_process_raw(decoder.decoder, pending.data() + offset, count, FALSE, FALSE);
                offset += count;
                const bool inSpeech = ps_get_in_speech(decoder.decoder);
                if (heardSpeech && !inSpeech) {
                    ps_end_utt(decoder.decoder);
                    const QString utterance = decoder.hypothesis();
                    if (offset == pending.size() && !audioWaiting()) {
                        deliver(OnDeviceRecognitionResult{joined(closedUtterances, utterance), true},
                                nullptr);
                        return;
                    }
                    if (!utterance.trimmed().isEmpty())
                        closedUtterances.append(utterance);
                    ps_start_utt(decoder.decoder);
                    heardSpeech = false;
                    samplesSincePartial = 0;
                    continue;
                }
                heardSpeech = heardSpeech || inSpeech;
                samplesSincePartial += count;
                if (heardSpeech && samplesSincePartial >= partialResultInterval) {
                    samplesSincePartial = 0;
                    const QString partial = joined(closedUtterances, decoder.hypothesis());
                    if (!partial.isEmpty() && partial != lastPartial) {
                        lastPartial = partial;
                        deliver(OnDeviceRecognitionResult{partial, false}, nullptr);
                    }
                }
            }
            pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(offset));
            if (ended) {
                ps_end_utt(decoder.decoder);
                deliver(OnDeviceRecognitionResult{joined(closedUtterances, decoder.hypothesis()),
                                                  true},
                        nullptr);
                return;
            }
        }
    }

    bool audioWaiting() const {
        std::lock_guard lock(m_core->mutex);
        return m_request->hasNews();
    }

    void deliver(const std::optional<OnDeviceRecognitionResult> &result, std::exception_ptr error) {
        {
            std::lock_guard lock(m_core->mutex);
            if (m_cancelled)
                return;
        }
        // Without any lock: the handler may start the next task or cancel
        // this one.
        if (m_handler)
            m_handler(result, error);
    }

private:
    std::shared_ptr<Core> m_core;
    std::shared_ptr<SphinxRequest> m_request;
    OnDeviceRecognitionHandler m_handler;
    bool m_cancelled = false; // guarded by the core's mutex
};

class SphinxRecognizer : public OnDeviceSpeechRecognizer {
public:
    explicit SphinxRecognizer(const PocketSphinxSpeechEngine::Model &model)
        : m_core(std::make_shared<Core>()) {
        auto decoder = std::make_unique<Decoder>(model);
        if (!decoder->decoder)
            return;
        m_core->decoder = std::move(decoder);
        m_thread = std::thread(work, m_core);
    }

    ~SphinxRecognizer() override {
        {
            std::lock_guard lock(m_core->mutex);
            m_core->stopping = true;
        }
        m_core->wake.notify_all();
        if (!m_thread.joinable())
            return;
        // The last owner may let go from inside a handler, on the thread
        // itself; it then finishes on its own and frees the decoder.
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach();
        else
            m_thread.join();
    }

    bool isAvailable() const override { return m_thread.joinable(); }

    std::shared_ptr<OnDeviceRecognitionRequest> makeRequest() override {
        return std::make_shared<SphinxRequest>(m_core);
    }

    std::shared_ptr<OnDeviceRecognitionTask>
    recognitionTask(std::shared_ptr<OnDeviceRecognitionRequest> request,
                    OnDeviceRecognitionHandler handler) override {
        auto sphinxRequest = std::dynamic_pointer_cast<SphinxRequest>(request);
        if (!sphinxRequest)
            throw OnDeviceSpeechError(QStringLiteral("request of another recogniser"));
        auto task =
            std::make_shared<SphinxTask>(m_core, std::move(sphinxRequest), std::move(handler));
        {
            std::lock_guard lock(m_core->mutex);
            m_core->queue.push_back(task);
        }
        m_core->wake.notify_all();
        return task;
    }

private:
    static void work(std::shared_ptr<Core> core) {
        for (;;) {
            std::shared_ptr<SphinxTask> task;
            {
                std::unique_lock lock(core->mutex);
                core->wake.wait(lock, [&] { return core->stopping || !core->queue.empty(); });
                if (core->stopping) {
                    // Queued tasks hold the core: let them go with it.
                    core->queue.clear();
                    return;
                }
                task = std::move(core->queue.front());
                core->queue.pop_front();
            }
            task->run(*core->decoder);
        }
    }

    std::shared_ptr<Core> m_core;
    std::thread m_thread;
};

// "en-US", "en_us" → "en-us".
QString modelTag(const QString &localeIdentifier) {
    QString tag = localeIdentifier.trimmed().toLower();
    tag.replace(u'_', u'-');
    return tag;
}

QString firstFile(const QDir &folder, const QStringList &preferred, const QStringList &patterns) {
    for (const QString &name : preferred) {
        if (QFileInfo(folder.filePath(name)).isFile())
            return folder.filePath(name);
    }
    for (const QString &name : folder.entryList(patterns, QDir::Files, QDir::Name)) {
        // The phonetic language model would recognise phones, not words.
        if (!name.contains(QStringLiteral("-phone")))
            return folder.filePath(name);
    }
    return {};
}

} // namespace

QString PocketSphinxSpeechEngine::defaultModelFolder() {
    return QStringLiteral("/usr/share/pocketsphinx/model");
}

PocketSphinxSpeechEngine::PocketSphinxSpeechEngine(QString modelFolder)
    : m_modelFolder(std::move(modelFolder)) {}

QCoro::Task<OnDeviceSpeechEngine::Authorization> PocketSphinxSpeechEngine::requestAuthorization() {
    co_return Authorization::authorized;
}

std::optional<PocketSphinxSpeechEngine::Model>
PocketSphinxSpeechEngine::modelFor(const QString &localeIdentifier) const {
    const QString tag = modelTag(localeIdentifier);
    if (tag.isEmpty() || tag.contains(u'/') || tag.startsWith(u'.'))
        return std::nullopt;
    const QDir root(m_modelFolder);
    QString folderName;
    if (QFileInfo(root.filePath(tag)).isDir()) {
        folderName = tag;
    } else if (!tag.contains(u'-')) {
        const QStringList regional = root.entryList({tag + QStringLiteral("-*")},
                                                    QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        if (!regional.isEmpty())
            folderName = regional.front();
    }
    if (folderName.isEmpty())
        return std::nullopt;

    const QDir folder(root.filePath(folderName));
    Model model;
    if (QFileInfo(folder.filePath(folderName + QStringLiteral("/mdef"))).isFile()) {
        model.acousticModel = folder.filePath(folderName);
    } else {
        for (const QString &name :
             folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            if (QFileInfo(folder.filePath(name + QStringLiteral("/mdef"))).isFile()) {
                model.acousticModel = folder.filePath(name);
                break;
            }
        }
    }
    model.languageModel =
        firstFile(folder, {folderName + QStringLiteral(".lm.bin")},
                  {QStringLiteral("*.lm.bin"), QStringLiteral("*.lm"), QStringLiteral("*.lm.DMP")});
    model.dictionary =
        firstFile(folder, {QStringLiteral("cmudict-") + folderName + QStringLiteral(".dict")},
                  {QStringLiteral("*.dict")});
    if (model.acousticModel.isEmpty() || model.languageModel.isEmpty() ||
        model.dictionary.isEmpty())
        return std::nullopt;
    return model;
}

std::shared_ptr<OnDeviceSpeechRecognizer>
PocketSphinxSpeechEngine::makeRecognizer(const QString &localeIdentifier) {
    const auto model = modelFor(localeIdentifier);
    if (!model)
        return nullptr;
    return std::make_shared<SphinxRecognizer>(*model);
}

} // namespace tovalit
