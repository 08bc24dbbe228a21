#pragma once

#include "tests/support/file_contents.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace tovalit::testing {

// What a check found in the folder after one kill.
struct AfterKill {
    // The version the file holds now (savedversions), 0 while there is no
    // file yet.
    int version = 0;
    // Whether a temporary of an unfinished save was there before the load
    // that stands for the next start.
    bool sawTemporary = false;
};

// Kills a process that saves `kind` files (see tests/tools/data_file_saver)
// into `folder` `rounds` times, each after a random delay of up to
// `maxDelayMicroseconds` (ten times as long under a sanitizer), and every 25th
// time while a temporary of its save is there, however busy the machine. After
// each kill, `check` gets the last version the saver finished and inspects the
// folder. The file must hold that version or the one being saved when the
// process died; the next saver goes on from there. Returns the number of rounds
// that left a temporary.
int killSaversRepeatedly(const QString &kind, const QString &folder, int rounds,
                         int maxDelayMicroseconds,
                         const std::function<AfterKill(int lastSaved)> &check);

// Whether `folder` holds a temporary of an unfinished save.
bool holdsTemporary(const QString &folder);

} // namespace tovalit::testing
