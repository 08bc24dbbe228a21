#include "views/localized_text_search.h"

#include "support/textkit.h"

#include <QString>

namespace tovalit {

bool localizedCaseInsensitiveContains(QStringView text, QStringView query) {
    if (query.isEmpty())
        return true;
    // Both sides in normalised composed form first: a decomposed "é" typed
    // by one input method still finds a composed one stored by another.
    return textkit::caseFolded(textkit::nfc(text))
        .contains(textkit::caseFolded(textkit::nfc(query)));
}

} // namespace tovalit
