#include "ui/base/binding_operators.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>
#include <thread>

#include "core/defaults_keys.h"
#include "core/settings_store.h"

using namespace vandrel;

namespace {

class BindingTest : public testing::Test {
protected:
    QTemporaryDir dir;
    SettingsStore store{dir.path().toStdString()};
    rx::DisposeBag bag;
};

}  // namespace

TEST_F(BindingTest, NeverWrittenKeyShowsItsDefault)
{
    QCheckBox pinned;
    QCheckBox usage;
    usage.setChecked(true);
    bindSettingToButton(DefaultsKeys::cheatSheet_isWindowPined, &pinned, store).disposed(bag);
    bindSettingToButton(DefaultsKeys::app_isAllowSendUsage, &usage, store).disposed(bag);
    EXPECT_TRUE(pinned.isChecked());
    EXPECT_FALSE(usage.isChecked());
    EXPECT_FALSE(store.object(DefaultsKeys::cheatSheet_isWindowPined.key()).has_value());
}

TEST_F(BindingTest, ButtonFollowsWritesOnceEachAndFromAnyThread)
{
    QCheckBox box;
    int toggles = 0;
    QObject::connect(&box, &QCheckBox::toggled, [&] { ++toggles; });
    bindSettingToButton(DefaultsKeys::cheatSheet_isWindowPined, &box, store).disposed(bag);
    EXPECT_EQ(toggles, 1);

    store.set(DefaultsKeys::cheatSheet_isWindowPined, false);
    store.set(DefaultsKeys::cheatSheet_isWindowPined, false);
    EXPECT_FALSE(box.isChecked());
    EXPECT_EQ(toggles, 2);

    std::thread writer([this] { store.set(DefaultsKeys::cheatSheet_isWindowPined, true); });
    writer.join();
    EXPECT_FALSE(box.isChecked());
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(box.isChecked());

    bag = rx::DisposeBag();
    store.set(DefaultsKeys::cheatSheet_isWindowPined, false);
    EXPECT_TRUE(box.isChecked());
}

TEST_F(BindingTest, ClicksReachTheActionAndStatesSetByCodeDoNot)
{
    QCheckBox box;
    std::vector<bool> states;
    bindSettingToButton(DefaultsKeys::app_isAllowSendUsage, &box, store).disposed(bag);
    bindButtonToAction(&box, [&](bool on) {
        states.push_back(on);
        store.set(DefaultsKeys::app_isAllowSendUsage, on);
    }).disposed(bag);
    EXPECT_TRUE(states.empty());

    box.click();
    EXPECT_EQ(states, std::vector<bool>{true});
    EXPECT_TRUE(store.get(DefaultsKeys::app_isAllowSendUsage));

    store.set(DefaultsKeys::app_isAllowSendUsage, false);
    EXPECT_FALSE(box.isChecked());
    box.setChecked(true);
    EXPECT_EQ(states.size(), 1u);

    box.click();
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
}

TEST_F(BindingTest, StreamDropsAbsentValuesErrorsAndDestroyedButtons)
{
    rx::PublishSubject<std::optional<bool>> stream;
    auto box = std::make_unique<QCheckBox>();
    bindStreamToButton(stream.asObservable(), box.get()).disposed(bag);
    stream.onNext(true);
    EXPECT_TRUE(box->isChecked());
    stream.onNext(std::nullopt);
    EXPECT_TRUE(box->isChecked());
    stream.onNext(false);
    EXPECT_FALSE(box->isChecked());

    box.reset();
    stream.onNext(true);
    stream.onError(std::make_exception_ptr(std::runtime_error("settings gone")));
    SUCCEED();
}
