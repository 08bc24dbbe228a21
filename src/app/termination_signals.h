#pragma once

namespace tovalit {

// Turns SIGTERM, SIGINT and SIGHUP (the desktop session ending, Ctrl+C in
// a terminal, the terminal closing) into an orderly quit of the Qt event
// loop, so the status item is taken down and the diagnostics reach their
// file as they do when the user quits from the menu. Call once, after the
// application object exists.
void quitOnTerminationSignals();

} // namespace tovalit
