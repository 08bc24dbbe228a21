#include "services/text_injection/focused_input_insertion_error.h"

namespace tovalit {

QString FocusedInputInsertionError::localizedDescription() const {
    switch (m_kind) {
    case Kind::focusedElementUnavailable:
        return QStringLiteral("没有找到可写入的当前焦点输入框。");
    case Kind::pasteboardWriteFailed:
        return QStringLiteral("无法把文本写入剪贴板。");
    case Kind::pasteSimulationFailed:
        return QStringLiteral("无法触发系统粘贴回退。");
    }
    return {};
}

} // namespace tovalit
