// What the key-scheme manager does to the list of schemes, without its window: new custom schemes from the
// basic factory scheme, duplicates, removal. Every change is made in the key service and stored at once.
//
// Names follow the key service's one rule: the base ("Custom" for a new scheme, the source's name for a
// duplicate) when it is not taken, else the base, a blank and the first free number from 2. A duplicate gets
// setting objects of its own. Built-in schemes are never removed; a scheme is removed as the object chosen,
// never by name, and when it was the active one the default factory scheme becomes active.
//
// Main thread only.
#pragma once

#include <functional>
#include <memory>

#include "engine/key_service.h"
#include "model/vd_key_scheme.h"

namespace vandrel {

class KeySchemeManager {
public:
    // basicScheme: the scheme a new one copies (the catalogue's basic scheme).
    KeySchemeManager(std::shared_ptr<KeyService> keyService, std::function<VDKeySchemePtr()> basicScheme);

    // Each returns the new scheme, installed, active and stored.
    VDKeySchemePtr createNewScheme();
    VDKeySchemePtr duplicate(const VDKeySchemePtr& source);
    // False when nothing was removed (no scheme, a built-in one, one not listed).
    bool remove(const VDKeySchemePtr& scheme);

    const std::shared_ptr<KeyService>& keyService() const { return keyService_; }

private:
    VDKeySchemePtr addCustom(const VDKeyScheme& source, const std::string& baseName);

    const std::shared_ptr<KeyService> keyService_;
    const std::function<VDKeySchemePtr()> basicScheme_;
};

}  // namespace vandrel
