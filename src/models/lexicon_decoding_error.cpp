#include "models/lexicon_decoding_error.h"

namespace tovalit {

LexiconDecodingError::LexiconDecodingError(Problem problem, QString location, QString value)
    : m_problem(problem)
    , m_location(std::move(location))
    , m_value(std::move(value)) {}

QString LexiconDecodingError::localizedDescription() const {
    return joinedWithDetail(QStringLiteral("个人词库数据格式无效"), detail());
}

QString LexiconDecodingError::detail() const {
    QString detail;
    switch (m_problem) {
    case Problem::NotAnObject:
        detail = QStringLiteral("内容不是有效的 JSON 对象");
        break;
    case Problem::Missing:
        detail = QStringLiteral("缺少字段 ") + m_location;
        break;
    case Problem::WrongType:
        detail = QStringLiteral("字段 ") + m_location + QStringLiteral(" 的类型不正确");
        break;
    case Problem::UnknownValue:
        detail = QStringLiteral("字段 ") + m_location + QStringLiteral(" 的取值“") + m_value +
                 QStringLiteral("”无法识别");
        break;
    case Problem::InvalidUuid:
        detail = QStringLiteral("字段 ") + m_location + QStringLiteral(" 不是有效的 UUID");
        break;
    case Problem::InvalidDate:
        detail = QStringLiteral("字段 ") + m_location + QStringLiteral(" 不是有效的 ISO 8601 时间");
        break;
    }
    return detail;
}

LexiconDecodingError LexiconDecodingError::nestedIn(const QString &outerLocation) const {
    if (outerLocation.isEmpty())
        return *this;
    QString location = outerLocation;
    if (!m_location.isEmpty())
        location += u'.' + m_location;
    return LexiconDecodingError(m_problem, location, m_value);
}

} // namespace tovalit
