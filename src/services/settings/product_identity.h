#pragma once

#include <QString>

namespace tovalit {

class BundleValues;

// The product's display name.
class ProductIdentity {
public:
    ProductIdentity() = delete;

    // "CFBundleDisplayName" of the main bundle's information list when it
    // is a non-blank string (returned as stored), else "CFBundleName" by the
    // same rule, else "Tovalit".
    static QString productName();
    static QString productName(const BundleValues &bundle);
};

} // namespace tovalit
