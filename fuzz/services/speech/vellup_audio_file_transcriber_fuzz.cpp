// The whole-file recogniser's reply: its transcript, and the message of a
// failed request. A transcript that reads must read the same from the
// plainest reply that carries it.

#include "fuzz_checks.h"
#include "services/speech/vellup_audio_file_transcriber.h"
#include "support/app_error.h"
#include "support/json_text.h"
#include "support/textkit.h"

#include <QJsonObject>

using namespace tovalit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray body = fuzz::bytes(data, size);
    const QString message = VellupAudioFileTranscriber::serverMessage(body);
    fuzz::requireValidUtf16(message, "server message");
    FUZZ_CHECK(!textkit::isBlank(message));

    QString transcript;
    try {
        transcript = VellupAudioFileTranscriber::extractTranscript(body);
    } catch (const AppError &) {
        return 0; // not JSON, not an object, no text: the recogniser's errors
    }
    fuzz::requireValidUtf16(transcript, "transcript");
    FUZZ_CHECK(!transcript.isEmpty() && transcript == textkit::trimmed(transcript));
    const QByteArray plain = json::compact(
        QJsonObject{{QStringLiteral("result"), QJsonObject{{QStringLiteral("text"), transcript}}}});
    FUZZ_CHECK(VellupAudioFileTranscriber::extractTranscript(plain) == transcript);
    return 0;
}
