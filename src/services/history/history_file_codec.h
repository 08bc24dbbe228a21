#pragma once

#include "models/transcript_record.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tovalit {

// The bytes of history.json: a JSON array of records in their JSON form,
// laid out as Qt's indented JSON (keys sorted, four-space indent). Both
// directions run over the cores: a long history holds ten thousand records.
class HistoryFileCodec {
public:
    HistoryFileCodec() = delete;

    struct Decoded {
        QList<TranscriptRecord> records;
        // Empty when the text read; otherwise what is wrong with it.
        QString problem;
    };

    static QByteArray encode(const QList<TranscriptRecord> &records);
    // Every element must decode: one that does not makes the whole text
    // unreadable, so nothing is silently dropped.
    static Decoded decode(const QByteArray &text);
};

} // namespace tovalit
