// The readable transcript files from which lost history records are
// rebuilt: read as the store reads them (strict UTF-8 first), then written
// as the store writes them and read again, which must give the same fields.

#include "fuzz_checks.h"
#include "services/history/transcript_file_format.h"
#include "support/textkit.h"

#include <QTimeZone>

#include <algorithm>

using namespace tovalit;

namespace {

const QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC);
// The files are written in the system zone, so that is the zone they read in.
const QTimeZone zone = QTimeZone::systemTimeZone();

bool sameFields(const TranscriptFileFields &a, const TranscriptFileFields &b) {
    return a.createdAt == b.createdAt && a.duration == b.duration && a.status == b.status &&
           a.note == b.note && a.transcript == b.transcript && a.rawTranscript == b.rawTranscript;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::ensureCoreApplication();
    const auto contents = textkit::decodeUtf8Strict(fuzz::bytes(data, size));
    if (!contents)
        return 0;
    const TranscriptFileFields fields = TranscriptFileFormat::parse(*contents, now, zone);
    fuzz::requireValidUtf16(fields.transcript, "transcript");
    fuzz::requireValidUtf16(fields.rawTranscript, "raw transcript");
    fuzz::requireValidUtf16(fields.note, "note");
    if (fields.createdAt)
        FUZZ_CHECK(fields.createdAt->isValid() && *fields.createdAt <= now.addDays(1));

    TranscriptRecord record;
    record.id = QUuid::createUuid();
    record.createdAt = fields.createdAt.value_or(now);
    record.duration = fields.duration;
    record.transcript = fields.transcript;
    record.rawTranscript = fields.rawTranscript;
    record.status = fields.status;
    record.note = fields.note;
    const QString written = TranscriptFileFormat::transcriptFileContents(record, record.transcript);
    fuzz::requireValidUtf16(written, "written file");
    // A file without a date is dated when it is rebuilt; the date is written.
    // Signed pieces may add up below zero, which is written as no time.
    TranscriptFileFields expected = fields;
    expected.createdAt = record.createdAt;
    expected.duration = std::max(fields.duration, 0.0);
    // The recogniser's text is written only where it differs from the text.
    if (expected.rawTranscript == expected.transcript)
        expected.rawTranscript.reset();
    const TranscriptFileFields again = TranscriptFileFormat::parse(written, now, zone);
    FUZZ_CHECK_TEXT(sameFields(again, expected), written);
    return 0;
}
