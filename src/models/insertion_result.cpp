#include "models/insertion_result.h"

namespace tovalit {

QString rawValue(InsertionResult result) {
    switch (result) {
    case InsertionResult::insertedDirectly:
        return QStringLiteral("insertedDirectly");
    case InsertionResult::pastedFromClipboard:
        return QStringLiteral("pastedFromClipboard");
    case InsertionResult::pastedNeedsAttention:
        return QStringLiteral("pastedNeedsAttention");
    case InsertionResult::copiedToClipboard:
        return QStringLiteral("copiedToClipboard");
    case InsertionResult::insertFailedCopiedToClipboard:
        return QStringLiteral("insertFailedCopiedToClipboard");
    case InsertionResult::copyFailed:
        return QStringLiteral("copyFailed");
    case InsertionResult::insertFailedCopyFailed:
        return QStringLiteral("insertFailedCopyFailed");
    }
    return {};
}

QString message(InsertionResult result) {
    switch (result) {
    case InsertionResult::insertedDirectly:
    case InsertionResult::pastedFromClipboard:
        return QStringLiteral("已插入");
    // The paste went out, or was even taken, but nothing showed where it
    // landed: saying it was inserted would claim more than was seen.
    case InsertionResult::pastedNeedsAttention:
        return QStringLiteral("已粘贴，未能确认");
    case InsertionResult::copiedToClipboard:
        return QStringLiteral("已复制到剪贴板");
    case InsertionResult::insertFailedCopiedToClipboard:
        return QStringLiteral("插入失败，已复制到剪贴板");
    case InsertionResult::copyFailed:
        return QStringLiteral("复制到剪贴板失败，文本已保存在历史记录中");
    case InsertionResult::insertFailedCopyFailed:
        return QStringLiteral("插入失败，复制到剪贴板也失败，文本已保存在历史记录中");
    }
    return {};
}

bool touchedClipboard(InsertionResult result) {
    return result != InsertionResult::insertedDirectly && result != InsertionResult::copyFailed &&
           result != InsertionResult::insertFailedCopyFailed;
}

bool requiresAttention(InsertionResult result) {
    return result == InsertionResult::insertFailedCopiedToClipboard ||
           result == InsertionResult::copyFailed ||
           result == InsertionResult::insertFailedCopyFailed;
}

bool insertionFailed(InsertionResult result) {
    return result == InsertionResult::insertFailedCopiedToClipboard ||
           result == InsertionResult::insertFailedCopyFailed;
}

} // namespace tovalit
