#include "models/recording_state.h"

namespace tovalit {

namespace {

// Key names stand apart from the sentence by a space; Chinese words do not.
QString spacing(const QString &display) {
    return !display.isEmpty() && display.front().script() == QChar::Script_Han
               ? QString()
               : QStringLiteral(" ");
}

} // namespace

QString RecordingState::hint(const QString &display) const {
    switch (m_case) {
    case Case::idle:
        return QStringLiteral("按") + spacing(display) + display + spacing(display) +
               QStringLiteral("开始或停止录音");
    case Case::requestingPermission:
        return QStringLiteral("正在检查麦克风、键盘读取和辅助技术");
    case Case::recording:
        return QStringLiteral("再次按") + spacing(display) + display + spacing(display) +
               QStringLiteral("结束录音，随后会自动帮你把话说顺");
    case Case::thinking:
        return QStringLiteral("正在整理转写内容并准备写回输入框");
    case Case::inserting:
        return QStringLiteral("正在把整理后的文本写入当前焦点输入框");
    case Case::failed:
        return m_message;
    }
    return {};
}

QString describe(const RecordingState &state) {
    switch (state.kind()) {
    case RecordingState::Case::idle:
        return QStringLiteral("idle");
    case RecordingState::Case::requestingPermission:
        return QStringLiteral("requestingPermission");
    case RecordingState::Case::recording:
        return QStringLiteral("recording");
    case RecordingState::Case::thinking:
        return QStringLiteral("thinking");
    case RecordingState::Case::inserting:
        return QStringLiteral("inserting");
    case RecordingState::Case::failed:
        return QStringLiteral("failed(") + state.failureMessage() + QLatin1Char(')');
    }
    return {};
}

} // namespace tovalit
