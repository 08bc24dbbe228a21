#include "models/meeting_node_id.h"

#include <QRandomGenerator>

#include <array>

namespace tovalit {

QUuid newMeetingNodeId() {
    std::array<quint32, 4> words{};
    QRandomGenerator::global()->fillRange(words.data(), static_cast<qsizetype>(words.size()));
    const auto byte = [&words](int index) {
        return static_cast<uchar>(words[static_cast<size_t>(index / 4)] >> (8 * (index % 4)));
    };
    // Version 4 in the high nibble of the third group, the RFC 4122 variant
    // in the top bits of the fourth.
    const auto timeHigh = static_cast<ushort>((words[1] >> 16 & 0x0FFF) | 0x4000);
    const auto clockHigh = static_cast<uchar>((byte(8) & 0x3F) | 0x80);
    return QUuid(words[0], static_cast<ushort>(words[1]), timeHigh, clockHigh, byte(9), byte(10),
                 byte(11), byte(12), byte(13), byte(14), byte(15));
}

} // namespace tovalit
