#include "ui/prefs/general_preference_view_controller.h"

#include <QBoxLayout>
#include <utility>

#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/popup_msg.h"
#include "ui/base/ui_constants.h"
#include "ui/base/view_componentized.h"
#include "ui/prefs/setting_group_stack_view.h"
#include "ui/prefs/setting_rows.h"

namespace vandrel {

namespace {

constexpr const char* noUpdateSource = "no update source is configured";

}  // namespace

GeneralPreferenceViewController::GeneralPreferenceViewController(PreferencesServices services,
                                                                 std::function<std::size_t()> paneCount)
    : PreferencesViewController(PreferencePaneIdentifier::general, std::move(services)),
      paneCount_(std::move(paneCount))
{
}

std::string GeneralPreferenceViewController::versionText()
{
    return AppInfo::version() + "(" + AppInfo::buildVersion() + ")";
}

void GeneralPreferenceViewController::viewDidLoad()
{
    log.verbose("General preferences did load");
    PreferencesViewController::viewDidLoad();
    settingsContainer_ = ViewComponentized::create<SettingsContainerStackView>(container());
    onNextTurn([this] {
        installLaunchGroup();
        installUpdatesGroup();
        installUsageGroup();
        installVersionLabel();
    });
    // Without a toolbar the window's title bar sits right above the pane: the settings start lower.
    if (paneCount_ && paneCount_() == 1) {
        if (auto* layout = view()->layout())
            layout->setContentsMargins(PreferencesUIConstants::windowPadding, 2 * PreferencesUIConstants::windowPadding,
                                       PreferencesUIConstants::windowPadding, PreferencesUIConstants::windowPadding);
    }
}

void GeneralPreferenceViewController::installLaunchGroup()
{
    auto* group = ViewComponentized::create<SettingGroupStackView>(settingsContainer_);
    auto [title, content] = addTitledRow(group);
    title->addArrangedSubview(makeTitleLabel(localizedText("Launch:")));
    startAtLogin_ = makeSettingCheckbox(localizedText("_start_login"), DefaultsKeys::app_isStartAtLogin, disposeBag(),
                                        [this](bool on) { switchStartAtLogin(on); });
    content->addArrangedSubview(startAtLogin_);
}

void GeneralPreferenceViewController::switchStartAtLogin(bool on)
{
    const auto error = AppInfo::switchStartAtLogin(on, services().loginItem);
    // A failed change stores nothing: show what is stored, not the click, and say why, as a scheme that
    // cannot be saved is told.
    const bool stored = Defaults()[DefaultsKeys::app_isStartAtLogin];
    if (startAtLogin_ && startAtLogin_->isChecked() != stored) startAtLogin_->setChecked(stored);
    if (!error) return;
    const auto message =
        on ? localized("Failed to turn on start at login: ${0}.", *error)
           : localized("Failed to turn off start at login: ${0}. Vandrel still starts at login.", *error);
    const auto& popup = services().popup;
    popup ? popup(message, 10) : popupMsg(message, 10);
}

void GeneralPreferenceViewController::installUpdatesGroup()
{
    auto* group = ViewComponentized::create<SettingGroupStackView>(settingsContainer_);
    {
        auto [title, content] = addTitledRow(group);
        title->addArrangedSubview(makeTitleLabel(localizedText("Check for updates:")));
        autoCheckUpdates_ =
            makeSettingCheckbox(localizedText("_check_updates_automatically"), DefaultsKeys::app_isAutoCheckUpdates,
                                disposeBag(), [this](bool on) {
                                    Defaults()[DefaultsKeys::app_isAutoCheckUpdates] = on;
                                    if (const auto& changed = services().automaticallyChecksForUpdatesChanged)
                                        changed(on);
                                    else
                                        log.warning(std::string("automatic update checks: ") + noUpdateSource);
                                });
        autoCheckUpdates_->setToolTip(localizedText("_check_updates_automatically_tooltip"));
        checkNow_ = new QPushButton(localizedText("Check Now"));
        QObject::connect(checkNow_, &QPushButton::clicked, checkNow_,
                         [this] { callService(services().checkForUpdates, "Check Now", noUpdateSource); });
        content->addArrangedSubview(autoCheckUpdates_);
        content->addArrangedSubview(checkNow_);
    }
    {
        auto [title, content] = addTitledRow(group);
        betaVersion_ =
            makeSettingCheckbox(localizedText("Beta version"), DefaultsKeys::app_isCheckBetaUpdate, disposeBag());
        content->addArrangedSubview(betaVersion_);
    }
    const auto& hasSource = services().hasUpdateSource;
    if (hasSource && !hasSource()) {
        for (QWidget* control : std::initializer_list<QWidget*>{autoCheckUpdates_, checkNow_, betaVersion_})
            control->setEnabled(false);
        auto [title, content] = addTitledRow(group, SettingItemStackView::ItemType::marked);
        updatesNote_ = makeNoteLabel(localizedText("_updates_unavailable"));
        updatesNote_->setWordWrap(true);
        content->addArrangedSubview(updatesNote_);
    }
}

void GeneralPreferenceViewController::installUsageGroup()
{
    auto* group = ViewComponentized::create<SettingGroupStackView>(settingsContainer_);
    {
        auto [title, content] = addTitledRow(group);
        title->addArrangedSubview(makeTitleLabel(localizedText("Help to improve:")));
        sendUsage_ = makeSettingCheckbox(localizedText("Send usage statistics"), DefaultsKeys::app_isAllowSendUsage,
                                         disposeBag());
        content->addArrangedSubview(sendUsage_);
    }
    {
        auto [title, content] = addTitledRow(group, SettingItemStackView::ItemType::marked);
        content->addArrangedSubview(makeNoteLabel(localizedText("_usage_statistics_declaration")));
    }
    const auto& hasAddress = services().hasUsageAddress;
    if (hasAddress && !hasAddress()) {
        sendUsage_->setEnabled(false);
        auto [title, content] = addTitledRow(group, SettingItemStackView::ItemType::marked);
        usageNote_ = makeNoteLabel(localizedText("_usage_unavailable"));
        usageNote_->setWordWrap(true);
        content->addArrangedSubview(usageNote_);
    }
}

void GeneralPreferenceViewController::installVersionLabel()
{
    versionLabel_ = makeNoteLabel(QString::fromStdString(localized("Version: ${0}", versionText())));
    versionLabel_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    // Bottom left of the container, under the settings column.
    if (auto* layout = qobject_cast<QBoxLayout*>(container()->layout())) {
        layout->addStretch(1);
        layout->addWidget(versionLabel_, 0, Qt::AlignLeft | Qt::AlignBottom);
    }
}

}  // namespace vandrel
