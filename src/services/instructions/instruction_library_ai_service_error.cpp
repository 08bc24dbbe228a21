#include "services/instructions/instruction_library_ai_service_error.h"

namespace tovalit {

using Error = InstructionLibraryAIServiceError;

Error::InstructionLibraryAIServiceError(Kind kind, int status, QString message)
    : m_kind(kind)
    , m_status(status)
    , m_message(std::move(message)) {}

Error Error::serverError(int status, QString message) {
    return Error(Kind::serverError, status, std::move(message));
}

Error Error::invalidRequest() {
    return Error(Kind::invalidRequest);
}

Error Error::invalidResponse() {
    return Error(Kind::invalidResponse);
}

Error Error::emptyContent() {
    return Error(Kind::emptyContent);
}

Error Error::invalidJSON() {
    return Error(Kind::invalidJSON);
}

Error Error::emptyRenderedText() {
    return Error(Kind::emptyRenderedText);
}

QString Error::localizedDescription() const {
    switch (m_kind) {
    case Kind::serverError:
        return QStringLiteral("指令请求失败（") + QString::number(m_status) +
               QStringLiteral("）：") + m_message;
    case Kind::invalidRequest:
        return QStringLiteral("指令请求构造失败。");
    case Kind::invalidResponse:
        return QStringLiteral("指令结果无法解析。");
    case Kind::emptyContent:
        return QStringLiteral("指令结果为空。");
    case Kind::invalidJSON:
        return QStringLiteral("指令草稿没有返回合法 JSON。");
    case Kind::emptyRenderedText:
        return QStringLiteral("指令没有产出可用文本。");
    }
    return {};
}

} // namespace tovalit
