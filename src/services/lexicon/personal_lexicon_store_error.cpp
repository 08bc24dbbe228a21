#include "services/lexicon/personal_lexicon_store_error.h"

namespace tovalit {

PersonalLexiconStoreError::PersonalLexiconStoreError(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail)) {}

QString PersonalLexiconStoreError::localizedDescription() const {
    switch (m_kind) {
    case Kind::ReadFailed:
        return joinedWithDetail(QStringLiteral("无法读取个人词库文件"), m_detail);
    case Kind::WriteFailed:
        return joinedWithDetail(QStringLiteral("无法写入个人词库文件"), m_detail);
    case Kind::SetAsideFailed:
        return joinedWithDetail(QStringLiteral("无法备份无法识别的个人词库文件"), m_detail);
    case Kind::NotRead:
        return joinedWithDetail(QStringLiteral("个人词库文件尚未读取成功，已保留原文件"), m_detail);
    }
    return {};
}

} // namespace tovalit
