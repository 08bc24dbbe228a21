#pragma once

#include <QObject>

namespace tovalit {

// The application becoming the active one (its window got the focus) and
// ceasing to be. The screen layer emits these; tests emit them directly.
class ApplicationActivity : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    void didBecomeActive();
    void didResignActive();
};

} // namespace tovalit
