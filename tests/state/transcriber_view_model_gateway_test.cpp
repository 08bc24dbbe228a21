#include "services/gateway/gateway_client_error.h"
#include "services/learning/lexicon_learning_ai_service_error.h"
#include "services/learning/volcengine_speech_lexicon_sync_error.h"
#include "services/speech/vellup_audio_file_transcriber_error.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
#include "tests/state/view_model_harness.h"

namespace tovalit {
namespace {

using namespace testing;

TEST(GatewaySessionRecoveryTest, TheFourMessagesAndA401PointAtTheSessionOnlyThroughTheGateway) {
    const auto recovers = [](std::exception_ptr error) {
        return TranscriberViewModel::shouldRecoverGatewaySession(true, error);
    };
    // Status 401 in each error that carries a status.
    EXPECT_TRUE(recovers(errorOf(GatewayClientError::requestFailed(401, QStringLiteral("no")))));
    EXPECT_TRUE(recovers(errorOf(VellupStructuredFormatterError::serverError(401, QString()))));
    EXPECT_TRUE(recovers(errorOf(VellupAudioFileTranscriberError::requestFailed(401, QString()))));
    EXPECT_TRUE(recovers(
        errorOf(LexiconLearningAIServiceError::serverError(401, QString(), std::nullopt))));
    EXPECT_TRUE(recovers(errorOf(VolcengineSpeechLexiconSyncError::requestFailed(401, QString()))));
    // Another status decides by the server's message, in any letter case.
    EXPECT_TRUE(recovers(errorOf(VellupStructuredFormatterError::serverError(
        403, QStringLiteral("authorization token is required")))));
    EXPECT_TRUE(recovers(
        errorOf(GatewayClientError::requestFailed(500, QStringLiteral("INVALID_TOKEN: expired")))));
    EXPECT_TRUE(recovers(errorOf(
        VellupAudioFileTranscriberError::requestFailed(502, QStringLiteral("Token Is Invalid")))));
    EXPECT_FALSE(
        recovers(errorOf(GatewayClientError::requestFailed(500, QStringLiteral("invalid token")))));
    EXPECT_FALSE(
        recovers(errorOf(GatewayClientError::requestFailed(403, QStringLiteral("token invalid")))));
    // Other errors decide by their description.
    EXPECT_TRUE(recovers(errorOf(TextError(QStringLiteral("Socket Is Not Connected (HTTP 0)")))));
    EXPECT_TRUE(recovers(errorOf(TextError(QStringLiteral("x authorization token is required")))));
    EXPECT_FALSE(recovers(errorOf(TextError(QStringLiteral("socket closed")))));
    EXPECT_FALSE(recovers(errorOf(GatewayClientError::invalidResponse())));

    // A direct call is never the gateway's business.
    EXPECT_FALSE(TranscriberViewModel::shouldRecoverGatewaySession(
        false, errorOf(GatewayClientError::requestFailed(401, QStringLiteral("invalid_token")))));
}

class GatewayRecoveryTest : public ViewModelTest {};

TEST_F(GatewayRecoveryTest, ARejectedSessionIsForgottenAndTheStartRetriedOnce) {
    makeStore(true);
    gateway->speechScript = {gatewaySpeech(QStringLiteral("tok-1")),
                             gatewaySpeech(QStringLiteral("tok-2"))};
    defaultTranscriberScript = {};
    transcriberScripts.push_back(
        {errorOf(TextError(QStringLiteral("Socket is not connected (invalid_token, HTTP 401)"))),
         nullptr, QString(), nullptr});
    makeViewModel();
    press();

    ASSERT_EQ(viewModel->recordingState(), RecordingState::recording());
    EXPECT_EQ(gateway->invalidations, 1);
    ASSERT_EQ(transcribers.size(), 2u);
    EXPECT_GE(transcriber(0).cancelCount.load(), 1);
    EXPECT_EQ(transcriber(1).configuration.gatewaySessionToken, QStringLiteral("tok-2"));
    EXPECT_TRUE(transcriber(1).started);
}

TEST_F(GatewayRecoveryTest, ASecondRejectionIsPassedOnWithTheReconnectWording) {
    useGatewayForSpeechOnly();
    defaultTranscriberScript.startError =
        errorOf(GatewayClientError::requestFailed(401, QStringLiteral("invalid_token")));
    makeViewModel();
    press();

    EXPECT_EQ(gateway->invalidations, 1) << "one recovery per call";
    EXPECT_EQ(transcribers.size(), 2u);
    const QString description =
        GatewayClientError::requestFailed(401, QStringLiteral("invalid_token"))
            .localizedDescription();
    EXPECT_EQ(viewModel->recordingState(),
              RecordingState::failed(QStringLiteral("本地 Gateway 会话已自动重连但仍未恢复：") +
                                     description));
    EXPECT_FALSE(input->isRunning());
}

TEST_F(GatewayRecoveryTest, DirectCredentialsNeverTriggerARecovery) {
    makeStore(false);
    giveDirectSpeechCredentials();
    defaultTranscriberScript.startError =
        errorOf(GatewayClientError::requestFailed(401, QStringLiteral("invalid_token")));
    makeViewModel();
    press();
    EXPECT_EQ(gateway->invalidations, 0);
    EXPECT_EQ(transcribers.size(), 1u);
    // Without a gateway the failure keeps its own words.
    EXPECT_EQ(viewModel->recordingState(),
              RecordingState::failed(
                  GatewayClientError::requestFailed(401, QStringLiteral("invalid_token"))
                      .localizedDescription()));
}

TEST_F(GatewayRecoveryTest, AFailingGatewayFallsBackToDirectCredentialsOrReportsItsOwnError) {
    makeStore(true);
    giveDirectSpeechCredentials();
    gateway->speechScript = {errorOf(TextError(QStringLiteral("gateway down")))};
    makeViewModel();
    press();
    ASSERT_EQ(viewModel->recordingState(), RecordingState::recording());
    EXPECT_EQ(transcriber().configuration.appID, QStringLiteral("app-1"));
    EXPECT_FALSE(transcriber().configuration.gatewayBaseURL.has_value());
    EXPECT_EQ(gateway->invalidations, 0);
    runTask(viewModel->toggleRecording()); // too soon: ignored
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());
    stopRecording();

    // A gateway that gives nothing leaves the direct configuration too.
    gateway->speechScript = {std::optional<VellupSpeechConfiguration>()};
    press();
    EXPECT_EQ(lastTranscriber().configuration.appID, QStringLiteral("app-1"));
    stopRecording();

    // Without direct credentials the gateway's own error reaches the user,
    // after one recovery when it points at the session.
    store->setVellupAppID(QString());
    gateway->speechScript = {errorOf(TextError(QStringLiteral("Socket is not connected"))),
                             errorOf(TextError(QStringLiteral("Socket is not connected")))};
    const int before = gateway->invalidations;
    press();
    EXPECT_EQ(gateway->invalidations, before + 1);
    EXPECT_EQ(viewModel->recordingState(),
              RecordingState::failed(QStringLiteral(
                  "本地 Gateway 会话已自动重连但仍未恢复：Socket is not connected")));
}

TEST_F(GatewayRecoveryTest, AResolutionAndAnOperationFailureShareTheOneRecovery) {
    makeStore(true);
    gateway->speechScript = {errorOf(TextError(QStringLiteral("invalid_token"))), gatewaySpeech()};
    transcriberScripts.push_back(
        {errorOf(VellupAudioFileTranscriberError::requestFailed(401, QStringLiteral("x"))), nullptr,
         QString(), nullptr});
    makeViewModel();
    press();
    EXPECT_EQ(gateway->invalidations, 1);
    EXPECT_EQ(transcribers.size(), 1u) << "the operation's failure is passed on";
    EXPECT_EQ(viewModel->recordingState(),
              RecordingState::failed(
                  VellupAudioFileTranscriberError::requestFailed(401, QStringLiteral("x"))
                      .localizedDescription()));
}

TEST_F(GatewayRecoveryTest, FormattingThroughTheGatewayProxyRecoversOnce) {
    useGateway();
    defaultTranscriberScript.finishText = QStringLiteral("你好");
    formatterAnswers.script = {
        errorOf(VellupStructuredFormatterError::serverError(401, QStringLiteral("expired"))),
        QStringLiteral("你好。")};
    makeViewModel();
    startRecording();
    stopRecording();
    EXPECT_EQ(gateway->invalidations, 1);
    EXPECT_EQ(formatterCalls.size(), 2u);
    EXPECT_EQ(viewModel->finalTranscript(), QStringLiteral("你好。"));
    EXPECT_EQ(viewModel->records().value(0).note, QStringLiteral("已插入"));
}

} // namespace
} // namespace tovalit
