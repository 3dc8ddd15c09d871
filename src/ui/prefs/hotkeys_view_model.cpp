#include "ui/prefs/hotkeys_view_model.h"

#include <utility>

namespace vandrel {

namespace {

rx::Observable<std::vector<std::string>> namesOf(std::shared_ptr<KeyService> keyService)
{
    return rx::Observable<std::vector<std::string>>(
        [keyService = std::move(keyService)](rx::Observer<std::vector<std::string>> observer) {
            std::vector<std::string> names;
            if (keyService)
                for (const auto& scheme : keyService->availableKeySchemes.value())
                    names.push_back(scheme->name.value());
            observer.next(names);
            observer.completed();
            return rx::Disposable();
        });
}

}  // namespace

HotkeysViewModel::HotkeysViewModel(std::shared_ptr<KeyService> keyService)
    : keySchemeNames(namesOf(std::move(keyService)))
{
}

}  // namespace vandrel
