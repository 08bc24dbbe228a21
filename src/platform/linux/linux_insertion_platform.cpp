#include "platform/linux/linux_insertion_platform.h"

#include "platform/linux/qt_clipboard_pasteboard.h"
#include "platform/linux/xtest_key_sender.h"

namespace tovalit {

InsertionPlatform makeLinuxInsertionPlatform() {
    return InsertionPlatform{std::make_shared<QtClipboardPasteboard>(), XTestKeySender::open()};
}

} // namespace tovalit
