#include "services/context/active_interaction_context_service.h"

#include "platform/accessibility_client.h"
#include "platform/accessibility_thread.h"
#include "platform/window_system.h"
#include "services/context/application_prompt_profile.h"
#include "services/context/focused_element_reader.h"
#include "services/context/screen_text_capture.h"
#include "services/settings/tovalit_debug_logger.h"
#include "support/regex.h"
#include "support/textkit.h"

namespace tovalit {

namespace {

const QString fallbackAppName = QStringLiteral("Unknown App");

bool isPlatformNewline(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x000A && u <= 0x000D) || u == 0x0085 || u == 0x2028 || u == 0x2029;
}

std::function<FocusedElementContext()> readJob(std::shared_ptr<AccessibilityClient> client,
                                               qint32 processIdentifier) {
    return [client = std::move(client), processIdentifier] {
        return FocusedElementReader::captureFocusedElementContext(*client, processIdentifier);
    };
}

std::function<std::optional<AccessibilityFocus>()>
accessibilityFocusJob(std::shared_ptr<AccessibilityClient> client) {
    return [client = std::move(client)] { return AccessibilityFocus::read(*client); };
}

QString pidText(std::optional<qint32> processIdentifier) {
    return processIdentifier ? QString::number(*processIdentifier) : QStringLiteral("<nil>");
}

std::optional<qint32> processOf(const std::optional<RunningApplication> &application) {
    return application ? std::optional<qint32>(application->processIdentifier) : std::nullopt;
}

QString preview(const std::optional<QString> &text) {
    return TovalitDebugLogger::preview(text, ActiveInteractionContextService::logPreviewLimit);
}

// A read that found text near the caret, or at least the caret, or a field
// that holds nothing, is enough.
bool resolved(const FocusedElementContext &context) {
    return context.hasRichLocalTextContext() || context.caretRect.has_value() || context.emptyField;
}

// The log lines are built in plain functions: GCC 12 miscompiles capturing
// lambdas inside coroutine bodies.
void logCapture(const ActiveInteractionContext &context) {
    TovalitDebugLogger::log(QStringLiteral("capture"), [context]() -> QString {
        const NaturalFormattingContext &f = context.naturalFormattingContext;
        return QStringLiteral("app=") + context.appName + QStringLiteral(" | bundle=") +
               context.bundleID + QStringLiteral(" | pid=") +
               QString::number(context.processIdentifier) + QStringLiteral(" | profile=") +
               f.appProfileID + QStringLiteral(" | role=") + preview(f.focusedElementRole) +
               QStringLiteral(" | desc=") + preview(f.focusedElementDescription) +
               QStringLiteral(" | before=") + preview(f.surroundingTextBeforeCursor) +
               QStringLiteral(" | selected=") + preview(f.selectedText) +
               QStringLiteral(" | after=") + preview(f.surroundingTextAfterCursor) +
               QStringLiteral(" | caret=") + preview(f.caretRect) + QStringLiteral(" | window=") +
               preview(f.windowTitle) + QStringLiteral(" | caretOCR=") + preview(f.caretAreaOCR);
    });
}

void logNativeWindow(qint32 processIdentifier, std::optional<qint32> activeXWindowProcess) {
    TovalitDebugLogger::log(
        QStringLiteral("capture.app"), [processIdentifier, activeXWindowProcess]() -> QString {
            return QStringLiteral("from-accessibility pid=") + QString::number(processIdentifier) +
                   QStringLiteral(" | xActivePid=") + pidText(activeXWindowProcess);
        });
}

void logRetry(QString outcome, qint32 processIdentifier, QString attemptLabel, int attempt) {
    TovalitDebugLogger::log(QStringLiteral("capture.retry"),
                            [outcome, processIdentifier, attemptLabel, attempt]() -> QString {
                                return outcome + QString::number(processIdentifier) + attemptLabel +
                                       QString::number(attempt);
                            });
}

} // namespace

ActiveInteractionContextService::ActiveInteractionContextService(
    std::shared_ptr<AccessibilityClient> accessibility, std::shared_ptr<WindowSystem> windowSystem,
    std::shared_ptr<ScreenTextCapture> screenText, Sleeper sleeper, DisplaySession displaySession)
    : m_accessibility(std::move(accessibility))
    , m_windowSystem(std::move(windowSystem))
    , m_screenText(std::move(screenText))
    , m_sleeper(std::move(sleeper))
    , m_displaySession(displaySession) {}

ActiveInteractionContextService::~ActiveInteractionContextService() = default;

QCoro::Task<std::optional<ActiveInteractionContext>>
ActiveInteractionContextService::captureCurrentContext() {
    std::optional<RunningApplication> application = m_windowSystem->frontmostApplication();
    // A native window of a Wayland session is known to the accessibility
    // bus alone; the X server then has no active window, or one of
    // another application.
    std::optional<QString> nativeWindowTitle;
    if (m_displaySession.wayland) {
        const std::optional<AccessibilityFocus> focus = co_await readAccessibilityFocus();
        if (focus && !m_displaySession.xServerKnowsFocusedWindow(processOf(application),
                                                                 focus->processIdentifier)) {
            logNativeWindow(focus->processIdentifier, processOf(application));
            application =
                RunningApplication{focus->processIdentifier, focus->applicationName, std::nullopt};
            nativeWindowTitle =
                normalizeOCRText(focus->windowTitle, ScreenTextCapture::windowTitleLimit);
        }
    }
    if (!application)
        co_return std::nullopt;
    const QString appName = normalizedAppName(application->localizedName);
    const QString bundleID = normalizedBundleID(application->bundleIdentifier, appName);
    const qint32 processIdentifier = application->processIdentifier;

    const FocusedElementContext focused = co_await captureFocusedElementContextWithRetries(
        processIdentifier, maxAttempts, retryDelay);
    const ScreenCaptureArtifacts artifacts =
        co_await m_screenText->captureScreenCaptureArtifacts(processIdentifier, focused);

    const std::optional<QString> caretText =
        artifacts.caretRectDescription ? artifacts.caretRectDescription
                                       : ScreenTextCapture::formatGlobalRect(focused.caretRect);
    ActiveInteractionContext context;
    context.appName = appName;
    context.bundleID = bundleID;
    context.processIdentifier = processIdentifier;
    context.naturalFormattingContext = makeNaturalFormattingContext(
        appName, bundleID, artifacts.screenshotOCR, focused.selectedText,
        focused.surroundingTextBeforeCursor, focused.surroundingTextAfterCursor, focused.role,
        focused.description, caretText, artifacts.caretAreaOCR,
        artifacts.windowTitle ? artifacts.windowTitle : nativeWindowTitle);

    logCapture(context);
    co_return context;
}

QCoro::Task<FocusedElementContext>
ActiveInteractionContextService::readFocusedElement(qint32 processIdentifier) {
    // Built outside a coroutine: GCC 12 miscompiles capturing lambdas
    // inside coroutine bodies. A read that never ran (the accessibility
    // thread stopped) reads nothing, so the capture still never throws.
    return detail::awaitAccessibilityResult(
        m_accessibility->thread().submit(readJob(m_accessibility, processIdentifier)).onFailed([] {
            return FocusedElementContext{};
        }));
}

QCoro::Task<std::optional<AccessibilityFocus>>
ActiveInteractionContextService::readAccessibilityFocus() {
    return detail::awaitAccessibilityResult(
        m_accessibility->thread().submit(accessibilityFocusJob(m_accessibility)).onFailed([] {
            return std::optional<AccessibilityFocus>();
        }));
}

QCoro::Task<FocusedElementContext>
ActiveInteractionContextService::captureFocusedElementContextWithRetries(qint32 processIdentifier,
                                                                         int maxAttempts,
                                                                         double retryDelay) {
    FocusedElementContext context = co_await readFocusedElement(processIdentifier);
    if (resolved(context))
        co_return context;
    for (int attempt = 2; attempt <= maxAttempts; ++attempt) {
        co_await m_sleeper(qMax(retryDelay, 0.0), CancelToken());
        context = co_await readFocusedElement(processIdentifier);
        if (resolved(context)) {
            logRetry(QStringLiteral("resolved pid="), processIdentifier,
                     QStringLiteral(" | attempt="), attempt);
            co_return context;
        }
        if (attempt == maxAttempts)
            logRetry(QStringLiteral("unresolved pid="), processIdentifier,
                     QStringLiteral(" | attempts="), attempt);
    }
    co_return context;
}

QCoro::Task<void>
ActiveInteractionContextService::activate(std::optional<ActiveInteractionContext> context) {
    if (!context)
        co_return;
    const auto frontmost = m_windowSystem->frontmostApplication();
    if (frontmost && frontmost->bundleIdentifier &&
        *frontmost->bundleIdentifier == context->bundleID)
        co_return;
    bool activated = false;
    if (auto running = m_windowSystem->runningApplication(context->processIdentifier)) {
        activated = m_windowSystem->activate(*running);
    } else {
        const QList<RunningApplication> candidates =
            m_windowSystem->runningApplications(context->bundleID);
        if (!candidates.isEmpty())
            activated = m_windowSystem->activate(candidates.first());
    }
    // Nothing was asked of the window manager (the application has quit, or
    // its window is a native one of a Wayland session, which the X server
    // does not know): nothing to wait for.
    if (activated)
        co_await m_sleeper(activationSettlePause, CancelToken());
}

std::optional<QString>
ActiveInteractionContextService::normalizeOCRText(const std::optional<QString> &text, int limit) {
    if (!text)
        return std::nullopt;
    static const textkit::Regex whitespaceRun(QStringLiteral("\\s+"));
    QStringList lines;
    qsizetype start = 0;
    const QString &whole = *text;
    for (qsizetype index = 0; index <= whole.size(); ++index) {
        if (index < whole.size() && !isPlatformNewline(whole[index]))
            continue;
        const QString line = textkit::trimmed(whitespaceRun.replaceAllLiteral(
            QStringView(whole).mid(start, index - start), QStringLiteral(" ")));
        if (!line.isEmpty())
            lines.append(line);
        start = index + 1;
    }
    const QString joined = textkit::trimmed(lines.join(QLatin1Char('\n')));
    if (joined.isEmpty())
        return std::nullopt;
    return textkit::graphemePrefix(joined, limit);
}

NaturalFormattingContext ActiveInteractionContextService::makeNaturalFormattingContext(
    const QString &appName, const QString &bundleID, const std::optional<QString> &screenshotOCR,
    const std::optional<QString> &selectedText,
    const std::optional<QString> &surroundingTextBeforeCursor,
    const std::optional<QString> &surroundingTextAfterCursor,
    const std::optional<QString> &focusedElementRole,
    const std::optional<QString> &focusedElementDescription,
    const std::optional<QString> &caretRect, const std::optional<QString> &caretAreaOCR,
    const std::optional<QString> &windowTitle) {
    const ApplicationPromptProfile profile =
        ApplicationPromptProfile::resolveProfile(appName, bundleID);
    return NaturalFormattingContext{appName,
                                    bundleID,
                                    profile.brandKey,
                                    profile.appProfileID,
                                    profile.appCategory,
                                    profile.audienceHint,
                                    profile.outputIntent,
                                    profile.styleGuide,
                                    profile.terminologyHints,
                                    profile.templateHints,
                                    screenshotOCR,
                                    selectedText,
                                    surroundingTextBeforeCursor,
                                    surroundingTextAfterCursor,
                                    focusedElementRole,
                                    focusedElementDescription,
                                    caretRect,
                                    caretAreaOCR,
                                    windowTitle};
}

QString ActiveInteractionContextService::normalizedAppName(const std::optional<QString> &name) {
    if (!name)
        return fallbackAppName;
    const QString trimmed = textkit::trimmed(*name);
    return trimmed.isEmpty() ? fallbackAppName : trimmed;
}

QString ActiveInteractionContextService::normalizedBundleID(const std::optional<QString> &bundleID,
                                                            const QString &fallbackAppName) {
    if (bundleID) {
        const QString trimmed = textkit::trimmed(*bundleID);
        if (!trimmed.isEmpty())
            return trimmed;
    }
    static const textkit::Regex separators(QStringLiteral("[^a-z0-9]+"));
    QString derived = separators.replaceAllLiteral(fallbackAppName.toLower(), QStringLiteral("."));
    qsizetype first = 0;
    qsizetype last = derived.size();
    while (first < last && derived[first] == QLatin1Char('.'))
        ++first;
    while (last > first && derived[last - 1] == QLatin1Char('.'))
        --last;
    return derived.mid(first, last - first);
}

} // namespace tovalit
