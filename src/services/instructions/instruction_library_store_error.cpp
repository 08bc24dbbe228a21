#include "services/instructions/instruction_library_store_error.h"

namespace tovalit {

InstructionLibraryStoreError::InstructionLibraryStoreError(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail)) {}

QString InstructionLibraryStoreError::localizedDescription() const {
    switch (m_kind) {
    case Kind::ReadFailed:
        return joinedWithDetail(QStringLiteral("无法读取指令库文件"), m_detail);
    case Kind::WriteFailed:
        return joinedWithDetail(QStringLiteral("无法写入指令库文件"), m_detail);
    case Kind::SetAsideFailed:
        return joinedWithDetail(QStringLiteral("无法备份无法识别的指令库文件"), m_detail);
    case Kind::NotRead:
        return joinedWithDetail(QStringLiteral("指令库文件尚未读取成功，已保留原文件"), m_detail);
    }
    return {};
}

} // namespace tovalit
