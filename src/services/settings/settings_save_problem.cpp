#include "services/settings/settings_save_problem.h"

#include <array>
#include <cerrno>
#include <cstring>

namespace tovalit {

namespace {

struct KnownReason {
    int code;
    const char16_t *text;
};

// The reasons come as the system's own words (in the process's locale),
// within the save's message.
constexpr std::array<KnownReason, 5> knownReasons{{
    {ENOSPC, u"磁盘空间已满"},
    {EDQUOT, u"磁盘配额已用完"},
    {EACCES, u"没有写入设置文件夹的权限（可能属于其他用户）"},
    {EPERM, u"没有写入设置文件夹的权限（可能属于其他用户）"},
    {EROFS, u"设置所在的文件系统是只读的"},
}};

} // namespace

QString settingsSaveProblem(const QString &error) {
    for (const KnownReason &reason : knownReasons) {
        if (error.contains(QString::fromLocal8Bit(std::strerror(reason.code))))
            return QString::fromUtf16(reason.text);
    }
    if (error.contains(QStringLiteral("尚未写完")) ||
        error.contains(QStringLiteral("another program is writing it")))
        return QStringLiteral("设置文件正被其他程序写入");
    return error;
}

} // namespace tovalit
