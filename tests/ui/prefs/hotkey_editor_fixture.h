// What the hotkey editor's tests share: the preferences fixture (settings in a temporary folder, a main queue
// on virtual time), the registered catalogue in English, a key service set up as at launch over those
// settings, and a recorder of transient messages.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "core/localize.h"
#include "core/popup_msg.h"
#include "engine/key_service.h"
#include "model/key_scheme_store.h"
#include "prefs_fixture.h"

namespace vandrel::test {

class HotkeyEditorTest : public PrefsTest {
protected:
    HotkeyEditorTest()
    {
        BuiltInVDAction::registerAll();
        keyService = makeKeyService();
    }

    // Records the messages shown to the user; the key service and the pane get it.
    PopupPresenter popup = [this](const std::string& message, double seconds) {
        messages.push_back(message);
        messageSeconds.push_back(seconds);
    };

    // A key service over the test's settings, set up as the engine does at launch.
    std::shared_ptr<KeyService> makeKeyService()
    {
        KeyService::Dependencies deps;
        deps.factoryScheme = [] { return BuildInVDKeyScheme::vandrel_v20190601(); };
        deps.settings = settings;
        deps.popup = popup;
        auto service = KeyService::make(std::move(deps));
        service->setUpAtLaunch();
        return service;
    }

    VDKeySchemePtr factory() const { return keyService->availableBuildInKeyScheme().front(); }
    VDKeySchemePtr active() const { return keyService->resolveInstalled(keyService->activeKeyScheme.value()); }

    // A custom scheme with these settings, installed, active and stored.
    VDKeySchemePtr addCustom(const std::string& name, VDKeyScheme::KeySettings settingsList)
    {
        auto scheme = VDKeyScheme::make(name, "", VDKeySchemeType::custom, std::move(settingsList));
        keyService->install(scheme);
        keyService->activate(scheme);
        scheme->writeIntoUserDefaults();
        return scheme;
    }

    // The stored custom scheme of that name as it reads back, or null.
    VDKeySchemePtr stored(const std::string& name) const
    {
        for (auto& entry : KeySchemeStore::readAll(*settings))
            if (entry.storedName == name) return entry.scheme;
        return nullptr;
    }

    // A shown window for the sheets to open on.
    QWidget& opener()
    {
        if (!opener_) {
            opener_ = std::make_unique<QWidget>();
            opener_->resize(800, 500);
            layOut(opener_.get());
        }
        return *opener_;
    }

    static VDKey caps(int keycode, ModifierSet more = {})
    {
        more.insert(57);
        return VDKey(keycode, more);
    }

    std::shared_ptr<KeyService> keyService;
    std::vector<std::string> messages;
    std::vector<double> messageSeconds;

private:
    std::unique_ptr<QWidget> opener_;
};

}  // namespace vandrel::test
