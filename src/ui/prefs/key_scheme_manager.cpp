#include "ui/prefs/key_scheme_manager.h"

#include <algorithm>
#include <utility>

#include "core/localize.h"
#include "core/log.h"

namespace vandrel {

KeySchemeManager::KeySchemeManager(std::shared_ptr<KeyService> keyService, std::function<VDKeySchemePtr()> basicScheme)
    : keyService_(std::move(keyService)), basicScheme_(std::move(basicScheme))
{
}

VDKeySchemePtr KeySchemeManager::addCustom(const VDKeyScheme& source, const std::string& baseName)
{
    if (!keyService_) return nullptr;
    auto named = keyService_->transformToANewCustom(source, baseName);
    // Settings of its own: nothing done to the source's list afterwards reaches the new scheme.
    VDKeyScheme::KeySettings settings;
    for (const auto& setting : source.keySettings.value())
        settings.push_back(VDKeySetting::make(setting->key(), setting->action(), setting->paramSequence()));
    auto scheme = VDKeyScheme::make(named->name.value(), "", VDKeySchemeType::custom, std::move(settings));
    keyService_->install(scheme);
    keyService_->activate(scheme);
    if (!scheme->writeIntoUserDefaults()) log.error("The new key scheme could not be stored ->", scheme->name.value());
    return scheme;
}

VDKeySchemePtr KeySchemeManager::createNewScheme()
{
    log.debug("createNew");
    const auto basic = basicScheme_ ? basicScheme_() : nullptr;
    if (!basic) {
        log.error("There is no basic key scheme to start a new one from");
        return nullptr;
    }
    return addCustom(*basic, localized("Custom"));
}

VDKeySchemePtr KeySchemeManager::duplicate(const VDKeySchemePtr& source)
{
    log.debug("duplicateSelectedScheme");
    if (!source) return nullptr;
    return addCustom(*source, source->name.value());
}

bool KeySchemeManager::remove(const VDKeySchemePtr& scheme)
{
    if (!scheme || !keyService_) return false;
    if (scheme->type() == VDKeySchemeType::builtIn) {
        log.warning("A built-in key scheme cannot be removed ->", scheme->name.value());
        return false;
    }
    auto list = keyService_->availableKeySchemes.value();
    const auto before = list.size();
    std::erase(list, scheme);
    if (list.size() == before) return false;
    log.debug("selectedScheme ->", scheme->name.value());

    const bool wasActive = keyService_->resolveInstalled(keyService_->activeKeyScheme.value()) == scheme;
    keyService_->availableKeySchemes.accept(list);
    if (scheme->type() == VDKeySchemeType::custom)
        keyService_->removeFromUserDefaults(scheme);
    else if (wasActive)
        keyService_->activate(keyService_->availableBuildInKeyScheme().front());
    return true;
}

}  // namespace vandrel
