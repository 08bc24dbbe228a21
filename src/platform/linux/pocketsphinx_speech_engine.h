#pragma once

#include "platform/on_device_speech_engine.h"

#include <QString>

#include <optional>

namespace tovalit {

// On-device recognition with PocketSphinx and the models installed under
// one folder, one subfolder per locale ("en-us" holds the acoustic model
// "en-us", a language model and a pronunciation dictionary). A recogniser
// loads its model when it is made and decodes on a thread of its own; a
// task ends on its own when the voice pauses (the decoder's voice
// detection), or with the audio; when the decoder reaches a pause only after
// more audio has come, the task goes on, a line for each utterance.
class PocketSphinxSpeechEngine : public OnDeviceSpeechEngine {
public:
    struct Model {
        QString acousticModel;
        QString languageModel;
        QString dictionary;
    };

    static QString defaultModelFolder();

    explicit PocketSphinxSpeechEngine(QString modelFolder = defaultModelFolder());

    // Recognition never leaves the computer: there is nothing to grant.
    QCoro::Task<Authorization> requestAuthorization() override;
    std::shared_ptr<OnDeviceSpeechRecognizer>
    makeRecognizer(const QString &localeIdentifier) override;

    // The installed model for a locale ("en-US", "en_us", or "en" for the
    // first English model), if any.
    std::optional<Model> modelFor(const QString &localeIdentifier) const;

private:
    QString m_modelFolder;
};

} // namespace tovalit
