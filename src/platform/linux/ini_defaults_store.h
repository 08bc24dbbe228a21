#pragma once

#include "platform/defaults_store.h"
#include "platform/linux/ini_document.h"
#include "support/clock.h"

#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tovalit {

struct IniUnfinishedReading;

// Preferences in an INI file, by default $XDG_CONFIG_HOME/Tovalit/Tovalit.ini,
// in the dialect of Qt's QSettings. INI text carries no types: "true" and
// "false" read as Booleans (and as strings), data is kept in Qt's
// "@ByteArray(...)" form and reads only as data.
//
// Changes are kept in this object until synchronize() writes them, all
// together, into the file as it is on the disk then (another instance or
// process may have changed other keys meanwhile); the file is replaced
// atomically, so a crash or a full disk leaves the previous file whole.
// A file that cannot be read (a folder on the way not reachable yet, a loop
// of links, no permission) is never taken for a missing one: nothing is
// written over it until it reads again, and then only the changes made;
// from then on this object holds its values.
// Nor is a file another program is writing in place (a copy from a
// backup, an editor, a sync tool): one that ends in the middle of a line
// (we and QSettings end every line) reads as unreadable until it is half a
// minute old, or two reads a few seconds apart find it unchanged (a
// person's editor that saves no final line end), and a save whose
// file changed between its read and its rename replaces nothing. Either
// way the changes stay pending: the other writer's bytes would otherwise go
// into a file that no longer has a name.
// Not thread-safe: one instance per thread.
class IniDefaultsStore final : public DefaultsStore {
public:
    // Reads the file, and clears what a save killed half-way left beside it.
    // `beforeReplace` is called by a save after it read the file and before
    // the new one takes its place: where another writer may come in.
    // `clock` times the reads (the system's when empty).
    explicit IniDefaultsStore(const QString &filePath, std::function<void()> beforeReplace = {},
                              MonotonicClock clock = {});
    // Writes what is still unsaved.
    ~IniDefaultsStore() override;
    // The store on the standard file, resolved from the environment now.
    static QString standardFilePath();

    QString filePath() const;

    std::optional<bool> boolean(const QString &key) const override;
    std::optional<QString> string(const QString &key) const override;
    std::optional<QByteArray> data(const QString &key) const override;
    bool contains(const QString &key) const override;
    std::optional<QString> loadProblem() const override;

    void setBoolean(const QString &key, bool value) override;
    void setString(const QString &key, const QString &value) override;
    void setData(const QString &key, const QByteArray &value) override;
    void remove(const QString &key) override;
    std::optional<QString> synchronize() override;

private:
    struct Change {
        QString key;
        std::optional<QVariant> value; // QString or QByteArray; nothing removes
    };
    static void apply(IniDocument &document, const Change &change);
    void change(const QString &key, std::optional<QVariant> value);

    QString m_path;
    std::function<void()> m_beforeReplace;
    MonotonicClock m_clock;
    // The last read of a file that ended inside a line, while it may still
    // be being written.
    std::shared_ptr<IniUnfinishedReading> m_unfinished;
    IniDocument m_document;
    std::optional<QString> m_loadProblem;
    std::vector<Change> m_unsaved;
};

} // namespace tovalit
