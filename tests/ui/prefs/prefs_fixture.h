// What the preferences tests share: settings in a temporary folder (installed as the program's), a login
// item that records its calls and can be told to fail, and a main queue on virtual time.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLayout>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/app_info.h"
#include "core/defaults.h"
#include "core/login_item_service.h"
#include "core/settings_store.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/prefs/preferences_services.h"

namespace vandrel::test {

// Shows the widget tree and lays it out.
inline void layOut(QWidget* top)
{
    top->show();
    QCoreApplication::sendPostedEvents();
    if (top->layout()) top->layout()->activate();
}

// A left click at the point, or at the widget's centre.
inline void click(QWidget* target, std::optional<QPointF> point = std::nullopt)
{
    const QPointF at = point.value_or(QPointF(target->width() / 2.0, target->height() / 2.0));
    QMouseEvent down(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(target, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QCoreApplication::sendEvent(target, &up);
}

// Shows the window and makes it the active one, so that focus changes reach its widgets.
inline bool activate(QWidget* window)
{
    window->show();
    window->activateWindow();
    for (int turn = 0; turn < 100 && !window->isActiveWindow(); ++turn) QCoreApplication::processEvents();
    return window->isActiveWindow();
}

class RecordingLoginItem final : public LoginItemService {
public:
    std::optional<std::string> setStartAtLogin(bool enabled) override
    {
        calls.push_back(enabled);
        return failure;
    }
    std::vector<bool> calls;
    std::optional<std::string> failure;
};

class PrefsTest : public testing::Test {
protected:
    PrefsTest()
    {
        installDefaults(settings);
        // Some tests write from a second thread too.
        settings->changedKeys()
            .subscribe([this](const std::string& key) {
                std::lock_guard lock(writtenKeysMutex);
                writtenKeys.push_back(key);
            })
            .disposed(bag);
    }
    ~PrefsTest() override
    {
        bag.dispose();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    PreferencesServices services() const
    {
        PreferencesServices s;
        s.mainQueue = mainQueue;
        s.loginItem = loginItem;
        return s;
    }

    // One turn of the main queue: rows queued by panes get built.
    void runMainTurn() { mainQueue->runDue(); }

    QTemporaryDir dir;
    std::shared_ptr<SettingsStore> settings = std::make_shared<SettingsStore>(dir.path().toStdString());
    std::shared_ptr<RecordingLoginItem> loginItem = std::make_shared<RecordingLoginItem>();
    std::shared_ptr<rx::VirtualTimeScheduler> mainQueue = rx::VirtualTimeScheduler::make();
    std::vector<std::string> writtenKeys;
    std::mutex writtenKeysMutex;
    rx::DisposeBag bag;
};

}  // namespace vandrel::test
