#include "support/field_decoding_error.h"

namespace tovalit {

FieldDecodingError::FieldDecodingError(QString lead, Problem problem, QString location,
                                       QString value)
    : m_lead(std::move(lead))
    , m_problem(problem)
    , m_location(std::move(location))
    , m_value(std::move(value)) {}

QString FieldDecodingError::localizedDescription() const {
    return joinedWithDetail(m_lead, detail());
}

QString FieldDecodingError::detail() const {
    switch (m_problem) {
    case Problem::NotAnObject:
        return QStringLiteral("内容不是有效的 JSON 对象");
    case Problem::Missing:
        return QStringLiteral("缺少字段 ") + m_location;
    case Problem::WrongType:
        return QStringLiteral("字段 ") + m_location + QStringLiteral(" 的类型不正确");
    case Problem::UnknownValue:
        return QStringLiteral("字段 ") + m_location + QStringLiteral(" 的取值“") + m_value +
               QStringLiteral("”无法识别");
    case Problem::InvalidUuid:
        return QStringLiteral("字段 ") + m_location + QStringLiteral(" 不是有效的 UUID");
    case Problem::InvalidDate:
        return QStringLiteral("字段 ") + m_location + QStringLiteral(" 不是有效的 ISO 8601 时间");
    }
    return {};
}

QString FieldDecodingError::locationWithin(const QString &outerLocation) const {
    if (outerLocation.isEmpty())
        return m_location;
    if (m_location.isEmpty())
        return outerLocation;
    return outerLocation + u'.' + m_location;
}

} // namespace tovalit
