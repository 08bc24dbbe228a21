#pragma once

#include <QString>

namespace tovalit {

// The access key pair for signed direct calls to the speech service's
// hot-word and correction tables.
struct VolcengineSpeechOpenAPIConfiguration {
    QString accessKeyID;
    QString secretAccessKey;

    bool operator==(const VolcengineSpeechOpenAPIConfiguration &) const = default;
};

} // namespace tovalit
