#pragma once

#include <functional>

namespace tovalit {

// Turns SIGTERM, SIGINT and SIGHUP (the desktop session ending, Ctrl+C in
// a terminal, the terminal closing) into an orderly quit, so the status
// item is taken down and the diagnostics reach their file as they do when
// the user quits from the menu. `quit` runs on the GUI thread for each
// signal; without it the Qt event loop ends at once. Call after the
// application object exists; a later call replaces `quit`.
void quitOnTerminationSignals(std::function<void()> quit = {});

} // namespace tovalit
