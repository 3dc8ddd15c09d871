#include "ui/base/binding_operators.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <memory>

#include "core/log.h"
#include "rx/operators.h"

namespace vandrel {

rx::Disposable bindSettingToButton(const DefaultsKey<bool>& key, QAbstractButton* button, SettingsStore& store)
{
    return bindStreamToButton(store.observe(key) | rx::map([](bool on) { return std::optional<bool>(on); }), button);
}

rx::Disposable bindButtonToAction(QAbstractButton* button, std::function<void(bool)> action)
{
    if (!button) return {};
    // clicked, not toggled: states set by code (the setting-to-button binding among them) are not user
    // changes and must not write back.
    const auto connection = QObject::connect(button, &QAbstractButton::clicked, button, [action](bool checked) {
        log.debug("stateOnNext ~>", checked);
        if (action) action(checked);
    });
    return rx::Disposable::create([connection] { QObject::disconnect(connection); });
}

rx::Disposable bindStreamToButton(const rx::Observable<std::optional<bool>>& stream, QAbstractButton* button)
{
    const QPointer<QAbstractButton> target(button);
    // Touched on the main thread only.
    auto last = std::make_shared<std::optional<bool>>();
    auto apply = [target, last](bool on) {
        if (!target || *last == on) return;
        *last = on;
        target->setChecked(on);
    };
    auto present = stream | rx::catchAndReturn(std::optional<bool>()) | rx::filterNil();
    return present.subscribe([apply](const bool& on) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        if (QThread::currentThread() == app->thread()) {
            apply(on);
        } else {
            QMetaObject::invokeMethod(
                app, [apply, on] { apply(on); }, Qt::QueuedConnection);
        }
    });
}

}  // namespace vandrel
