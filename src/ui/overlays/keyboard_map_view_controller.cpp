#include "ui/overlays/keyboard_map_view_controller.h"

#include <algorithm>

#include "core/log.h"
#include "core/main_queue.h"
#include "model/key_kit.h"
#include "rx/combining.h"
#include "ui/overlays/keyboard_map_scripts.h"

namespace vandrel {

std::shared_ptr<KeyboardMapViewController> KeyboardMapViewController::make(Dependencies dependencies,
                                                                           KeyboardMapView* view)
{
    return std::make_shared<KeyboardMapViewController>(Passkey(), std::move(dependencies), view);
}

KeyboardMapViewController::KeyboardMapViewController(Passkey, Dependencies dependencies, KeyboardMapView* view)
    : deps_(std::move(dependencies)),
      main_(deps_.mainScheduler ? deps_.mainScheduler : MainQueue::shared()),
      page_(view)
{
}

KeyboardMapViewController::~KeyboardMapViewController() = default;

void KeyboardMapViewController::pageDidFinish()
{
    log.info("keyboard-map didFinish");
    page_.evaluate(KeyboardMapScripts::scale(pageScale));
    log.debug("showBaseTextEditingKeysOnly ->", KeyboardMapScripts::showBaseTextEditingKeysOnly());
    page_.evaluate(KeyboardMapScripts::showBaseTextEditingKeysOnly());
}

void KeyboardMapViewController::viewDidAppear()
{
    log.debug("keyboard map appeared");
    if (disposeBag_) return;
    disposeBag_.emplace();
    std::weak_ptr<KeyboardMapViewController> weak = weak_from_this();
    rx::merge(deps_.keydown, deps_.capsDown)
        .subscribe([weak](const KeyEvent& e) {
            if (auto self = weak.lock()) self->onKeyDown(e);
        })
        .disposed(*disposeBag_);
    deps_.keyup
        .subscribe([weak](const KeyEvent& e) {
            if (auto self = weak.lock()) self->onKeyUp(e);
        })
        .disposed(*disposeBag_);
    deps_.capsUp
        .subscribe([weak](const KeyEvent& e) {
            if (auto self = weak.lock()) self->onCapsUp(e);
        })
        .disposed(*disposeBag_);
}

void KeyboardMapViewController::viewDidDisappear()
{
    log.debug("keyboard map disappeared");
    disposeBag_.reset();
}

bool KeyboardMapViewController::isFollowingKeys() const
{
    return disposeBag_.has_value();
}

void KeyboardMapViewController::onKeyDown(const KeyEvent& event)
{
    const Keystroke keystroke = KeyKit::cgeventToKeystroke(event);
    std::string script = KeyboardMapScripts::keyDown(keystroke);
    {
        std::lock_guard lock(mutex_);
        if (const auto name = keystroke.keyName();
            name && !name->empty() && std::find(keysDown_.begin(), keysDown_.end(), *name) == keysDown_.end())
            keysDown_.push_back(*name);
        lastKeystroke_ = keystroke;
    }
    evaluate(std::move(script));
}

void KeyboardMapViewController::onKeyUp(const KeyEvent& event)
{
    const Keystroke keystroke = KeyKit::cgeventToKeystroke(event);
    std::string script;
    {
        std::lock_guard lock(mutex_);
        const auto name = keystroke.keyName();
        const auto seen = name ? std::find(keysDown_.begin(), keysDown_.end(), *name) : keysDown_.end();
        if (seen != keysDown_.end()) {
            script = KeyboardMapScripts::keyUp(keystroke, &*name);
            keysDown_.erase(seen);
        } else {
            script = KeyboardMapScripts::keyUp(keystroke, nullptr);
        }
        lastKeystroke_ = keystroke;
    }
    evaluate(std::move(script));
}

void KeyboardMapViewController::onCapsUp(const KeyEvent&)
{
    std::string script;
    {
        std::lock_guard lock(mutex_);
        script = KeyboardMapScripts::capsUp(keysDown_);
        keysDown_.clear();
        lastKeystroke_.reset();
    }
    evaluate(std::move(script));
}

std::optional<Keystroke> KeyboardMapViewController::lastKeystroke() const
{
    std::lock_guard lock(mutex_);
    return lastKeystroke_;
}

void KeyboardMapViewController::evaluate(std::string script)
{
    std::weak_ptr<KeyboardMapViewController> weak = weak_from_this();
    main_->schedule([weak, script = std::move(script)] {
        if (auto self = weak.lock()) self->page_.evaluate(script);
    });
}

}  // namespace vandrel
