#include "ui/prefs/general_view_controller.h"

#include <QVBoxLayout>
#include <utility>

#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "ui/base/binding_operators.h"
#include "ui/prefs/preferences_services.h"
#include "ui/prefs/setting_rows.h"

namespace vandrel {

GeneralViewController::GeneralViewController(std::function<void()> checkForUpdates,
                                             std::shared_ptr<LoginItemService> loginItem, QWidget* parent)
    : QWidget(parent),
      checkForUpdates_(std::move(checkForUpdates)),
      loginItem_(std::move(loginItem)),
      startAtLogin_(new QCheckBox(localizedText("_start_login"))),
      autoCheck_(new QCheckBox(localizedText("_check_updates_automatically"))),
      beta_(new QCheckBox(localizedText("Beta version")))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(startAtLogin_);
    layout->addWidget(autoCheck_);
    layout->addWidget(beta_);
    auto* checkNow = new QPushButton(localizedText("Check Now"));
    layout->addWidget(checkNow, 0, Qt::AlignLeft);
    layout->addWidget(new QLabel(localizedText("Version: ${0}").replace("${0}", currentVersion())));
    layout->addStretch(1);

    bindSettingToButton(DefaultsKeys::app_isStartAtLogin, startAtLogin_).disposed(bag_);
    bindButtonToAction(startAtLogin_, [this](bool on) {
        setStartAtLogin(on);
        startAtLogin_->setChecked(startAtLogin());
    }).disposed(bag_);
    bindSettingToButton(DefaultsKeys::app_isAutoCheckUpdates, autoCheck_).disposed(bag_);
    bindButtonToAction(autoCheck_, [this](bool on) { setIsAutoCheckUpdate(on); }).disposed(bag_);
    bindSettingToButton(DefaultsKeys::app_isCheckBetaUpdate, beta_).disposed(bag_);
    bindButtonToAction(beta_, [this](bool on) { setIsCheckBetaUpdate(on); }).disposed(bag_);
    connect(checkNow, &QPushButton::clicked, this, [this] { this->checkForUpdates(); });
}

bool GeneralViewController::startAtLogin() const
{
    return Defaults()[DefaultsKeys::app_isStartAtLogin];
}

void GeneralViewController::setStartAtLogin(bool on)
{
    AppInfo::switchStartAtLogin(on, loginItem_);
}

bool GeneralViewController::isAutoCheckUpdate() const
{
    return Defaults()[DefaultsKeys::app_isAutoCheckUpdates];
}

void GeneralViewController::setIsAutoCheckUpdate(bool on)
{
    Defaults()[DefaultsKeys::app_isAutoCheckUpdates] = on;
}

bool GeneralViewController::isCheckBetaUpdate() const
{
    return Defaults()[DefaultsKeys::app_isCheckBetaUpdate];
}

void GeneralViewController::setIsCheckBetaUpdate(bool on)
{
    Defaults()[DefaultsKeys::app_isCheckBetaUpdate] = on;
}

QString GeneralViewController::currentVersion() const
{
    return QString::fromStdString(AppInfo::version());
}

void GeneralViewController::checkForUpdates()
{
    callService(checkForUpdates_, "checkForUpdates", "no update source is configured");
}

}  // namespace vandrel
