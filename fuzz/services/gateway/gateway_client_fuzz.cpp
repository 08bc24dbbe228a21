// The gateway's session replies, its error bodies, and the same session as
// the keychain keeps it: a session that reads is kept in its compact form
// and must read back unchanged from there.

#include "fuzz_checks.h"
#include "services/gateway/gateway_client.h"
#include "services/gateway/gateway_client_error.h"
#include "services/gateway/gateway_session.h"
#include "support/json_text.h"
#include "support/textkit.h"

using namespace tovalit;

namespace {

void checkSession(const GatewaySession &session) {
    for (const QString *text :
         {&session.sessionID, &session.deviceID, &session.accessToken, &session.refreshToken})
        fuzz::requireValidUtf16(*text, "session text");
    FUZZ_CHECK(session.accessTokenExpiresAt.isValid());
    FUZZ_CHECK(session.refreshTokenExpiresAt.isValid());
    const QByteArray kept = session.toCompactJson();
    const auto object = json::parseObject(kept);
    FUZZ_CHECK(object.has_value());
    const auto again = GatewaySession::fromJson(*object);
    FUZZ_CHECK_TEXT(again && *again == session, QString::fromUtf8(kept));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray body = fuzz::bytes(data, size);

    const QString message = GatewayClient::serverMessage(body);
    fuzz::requireValidUtf16(message, "server message");
    FUZZ_CHECK(!textkit::isBlank(message));

    try {
        checkSession(GatewayClient::decodeSessionReply(body));
    } catch (const GatewayClientError &error) {
        FUZZ_CHECK(error.kind() == GatewayClientError::Kind::invalidResponse);
    }
    // The keychain's item is the session object itself.
    if (const auto object = json::parseObject(body)) {
        if (const auto session = GatewaySession::fromJson(*object))
            checkSession(*session);
    }
    return 0;
}
