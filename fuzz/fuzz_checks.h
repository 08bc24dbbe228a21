#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <optional>

// What every fuzz target shares: the checks it makes of what a reader
// returns, and the Qt set-up some readers need. A failed check aborts, so
// libFuzzer keeps the input as a finding like any crash.
namespace tovalit::fuzz {

[[noreturn]] void fail(const char *what, const char *where, const QString &detail = {});

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void(0) : ::tovalit::fuzz::fail(#condition, __FILE__ ":" QT_STRINGIFY(__LINE__)))
#define FUZZ_CHECK_TEXT(condition, detail)                                                         \
    ((condition) ? void(0)                                                                         \
                 : ::tovalit::fuzz::fail(#condition, __FILE__ ":" QT_STRINGIFY(__LINE__), detail))

// No unpaired surrogate: the text can be written as UTF-8, sent over
// D-Bus and shown without loss.
bool isValidUtf16(QStringView text);

// Abort unless every text is valid UTF-16; `what` names it in the report.
void requireValidUtf16(QStringView text, const char *what);
void requireValidUtf16(const QString &text, const char *what);
void requireValidUtf16(const std::optional<QString> &text, const char *what);
void requireValidUtf16(const QStringList &texts, const char *what);
// Every key and string in a JSON value or a property-list value.
void requireValidUtf16(const QJsonValue &value, const char *what);
void requireValidUtf16(const QVariant &value, const char *what);

// The input as Qt bytes (a deep copy, so a reader that keeps a view of it
// cannot outlive the fuzzer's buffer unseen).
QByteArray bytes(const uint8_t *data, size_t size);

// A QCoreApplication for readers that need one (file engines, time zones,
// settings); created once, on first call.
void ensureCoreApplication();

// A private folder for the process, for readers that only read files.
QString scratchFolder();

} // namespace tovalit::fuzz
