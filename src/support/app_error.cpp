#include "support/app_error.h"

namespace tovalit {

const char *AppError::what() const noexcept {
    try {
        m_what = localizedDescription().toUtf8();
    } catch (...) {
        return "AppError";
    }
    return m_what.constData();
}

QString joinedWithDetail(const QString &text, const QString &detail) {
    if (detail.isEmpty())
        return text;
    return text + u'：' + detail;
}

QString describeException(const std::exception &error) {
    if (const auto *appError = dynamic_cast<const AppError *>(&error))
        return appError->localizedDescription();
    return QString::fromUtf8(error.what());
}

QString describeError(const std::exception_ptr &error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &exception) {
        return describeException(exception);
    } catch (...) {
        return QStringLiteral("未知错误");
    }
}

} // namespace tovalit
