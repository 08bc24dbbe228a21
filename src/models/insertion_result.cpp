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
    }
    return {};
}

QString message(InsertionResult result) {
    switch (result) {
    case InsertionResult::insertedDirectly:
    case InsertionResult::pastedFromClipboard:
    case InsertionResult::pastedNeedsAttention:
        return QStringLiteral("已插入");
    case InsertionResult::copiedToClipboard:
        return QStringLiteral("已复制到剪贴板");
    case InsertionResult::insertFailedCopiedToClipboard:
        return QStringLiteral("插入失败，已复制到剪贴板");
    }
    return {};
}

bool touchedClipboard(InsertionResult result) {
    return result != InsertionResult::insertedDirectly;
}

bool requiresAttention(InsertionResult result) {
    return result == InsertionResult::insertFailedCopiedToClipboard;
}

} // namespace tovalit
