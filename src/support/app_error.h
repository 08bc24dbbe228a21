#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace tovalit {

// Base of every error the application throws. localizedDescription() is the
// short Chinese text shown to the user (detail after a full-width colon);
// what() is the same text in UTF-8 for logs and test failures.
class AppError : public std::exception {
public:
    virtual QString localizedDescription() const = 0;
    const char *what() const noexcept override;

private:
    mutable QByteArray m_what;
};

// "text：detail", or just the text when there is no detail.
QString joinedWithDetail(const QString &text, const QString &detail);

// Best description of any exception: localizedDescription() for ours,
// what() for the rest.
QString describeException(const std::exception &error);
// The same for whatever was thrown; "未知错误" for what is no exception.
QString describeError(const std::exception_ptr &error);

} // namespace tovalit
