#include "app/vd_status_bar_menu.h"

#include <QAction>
#include <QUrl>

#include "core/constants.h"
#include "core/installed_instance.h"
#include "core/localize.h"
#include "core/log.h"
#include "model/vd_key.h"

namespace vandrel {

namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

QAction* addEntry(QMenu& menu, const std::string& titleKey, const char* objectName, std::function<void()> action)
{
    QAction* item = menu.addAction(qs(localized(titleKey)));
    item->setObjectName(objectName);
    QObject::connect(item, &QAction::triggered, &menu, [action = std::move(action)] {
        if (action) action();
    });
    return item;
}

QAction* plainLine(QMenu& menu, const std::string& text)
{
    auto* line = new QAction(qs(text), &menu);
    line->setEnabled(false);
    return line;
}

// Runs a service the program may not have handed in.
void call(const std::function<void()>& service, const char* what)
{
    if (service)
        service();
    else
        log.warning(std::string(what) + ": not available in this run");
}

}  // namespace

std::shared_ptr<VDStatusBarMenu> VDStatusBarMenu::make(std::unique_ptr<StatusItem> statusItem,
                                                       StatusBarMenuServices services)
{
    return std::make_shared<VDStatusBarMenu>(Passkey{}, std::move(statusItem), std::move(services));
}

VDStatusBarMenu::VDStatusBarMenu(Passkey, std::unique_ptr<StatusItem> statusItem, StatusBarMenuServices services)
    : statusItem_(std::move(statusItem)), services_(std::move(services))
{
}

VDStatusBarMenu::~VDStatusBarMenu()
{
    disposeBag_ = rx::DisposeBag();
    if (menu_) statusItem_->setMenu(nullptr);
}

InstalledInstance<VDStatusBarMenu>& VDStatusBarMenu::installed()
{
    static InstalledInstance<VDStatusBarMenu> slot;
    return slot;
}

std::shared_ptr<VDStatusBarMenu> VDStatusBarMenu::shared()
{
    return installed().get();
}

void VDStatusBarMenu::installShared(std::shared_ptr<VDStatusBarMenu> menu)
{
    installed().install(std::move(menu));
}

std::string VDStatusBarMenu::preferencesTitle()
{
    // The default layout's Preferences key, Caps Lock+Shift and the comma key, written as every hotkey is.
    return localized("Preferences...") + "\t" + VDKey(43, {56, 57}).keyCharWithModifiers();
}

std::string VDStatusBarMenu::secureInputHolderLabel(const std::optional<SecureInputHolder>& holder,
                                                    const std::optional<RunningApplication>& frontmost)
{
    if (holder)
        return holder->localizedName.value_or("<unknown name>") +
               " (pid: " + std::to_string(holder->processIdentifier) + ")";
    if (frontmost && frontmost->localizedName)
        return *frontmost->localizedName + " (pid: " + std::to_string(frontmost->processIdentifier) + ")";
    return localized("_get_app_info_fail");
}

void VDStatusBarMenu::initMenuButton()
{
    if (menu_) {
        log.warning("initMenuButton: the menu is built already");
        return;
    }
    menu_ = std::make_unique<QMenu>();
    QMenu& menu = *menu_;
    std::weak_ptr<VDStatusBarMenu> weak = weak_from_this();
    auto forMenu = [weak](void (VDStatusBarMenu::*member)()) {
        return [weak, member] {
            if (const auto self = weak.lock()) ((*self).*member)();
        };
    };

    // Shown only while the program waits for keyboard access.
    menuItemWaitingForAccess = menu.addAction(qs(localized("Waiting for keyboard access")));
    menuItemWaitingForAccess->setObjectName("menuItem_waitingForAccess");
    menuItemWaitingForAccess->setEnabled(false);
    menuItemSetUpAccess = addEntry(menu, "Set Up Keyboard Access...", "menuItem_setUpAccess",
                                   [show = services_.showAccessGuide] { call(show, "the keyboard access guide"); });
    accessSeparator_ = menu.addSeparator();
    followKeyboardAccess();

    menuItemPreferences =
        addEntry(menu, "Preferences...", "menuItem_preferences", forMenu(&VDStatusBarMenu::showPreferences));
    menuItemPreferences->setText(qs(preferencesTitle()));
    menuItemCheckForUpdates =
        addEntry(menu, "Check for Updates...", "menuItem_checkForUpdates", forMenu(&VDStatusBarMenu::checkForUpdates));
    menuItemFeedback = addEntry(menu, "Feedback...", "menuItem_feedback", forMenu(&VDStatusBarMenu::showFeedback));
    menu.addSeparator();
    menuItemManual = addEntry(menu, "Manual", "menuItem_manual", forMenu(&VDStatusBarMenu::goManual));
    menuItemTutorial = addEntry(menu, "Tutorial", "menuItem_tutorial", forMenu(&VDStatusBarMenu::goTutorial));
    menu.addSeparator();
    addEntry(menu, "Quit Vandrel", "menuItem_quit", [quit = services_.quit] { call(quit, "Quit"); });

    // The update source is known only after the menu is built: asked each time the menu opens.
    const auto updateEnabled = [this] {
        if (services_.hasUpdateSource) menuItemCheckForUpdates->setEnabled(services_.hasUpdateSource());
    };
    QObject::connect(menu_.get(), &QMenu::aboutToShow, menu_.get(), updateEnabled);
    updateEnabled();

    statusItem_->setMenu(menu_.get());
    addAlertItemWhenInSecureInput();
}

void VDStatusBarMenu::followKeyboardAccess()
{
    const auto show = [this](bool waiting) {
        for (QAction* item : {menuItemWaitingForAccess, menuItemSetUpAccess, accessSeparator_})
            item->setVisible(waiting);
    };
    show(false);
    if (!services_.keyboardAccess) return;
    std::weak_ptr<VDStatusBarMenu> weak = weak_from_this();
    (services_.keyboardAccess() | rx::observeOn(services_.mainQueue))
        .subscribe([weak, show](const bool& granted) {
            if (const auto self = weak.lock()) show(!granted);
        })
        .disposed(disposeBag_);
}

void VDStatusBarMenu::addAlertItemWhenInSecureInput()
{
    QMenu& menu = *menu_;
    warningItems_.push_back(plainLine(menu, "\u261D\uFE0F " + localized("_hotkeys_freezing_by_secure_input")));
    applicationLabel_ = plainLine(menu, "");
    warningItems_.push_back(applicationLabel_);
    warningItems_.push_back(plainLine(menu, localized("_hotkeys_freezing_reason")));
    warningItems_.push_back(plainLine(menu, localized("_hotkeys_freezing_warning")));
    auto* separator = new QAction(&menu);
    separator->setSeparator(true);
    warningItems_.push_back(separator);

    if (!services_.secureInput) {
        log.warning("The menu has no frozen-hotkeys state to follow");
        statusItem_->setImage(normalIcon);
        return;
    }
    std::weak_ptr<VDStatusBarMenu> weak = weak_from_this();
    // Handled on the main queue, where the menu and the shown flag live.
    (services_.secureInput() | rx::observeOn(services_.mainQueue))
        .subscribe([weak](const bool& on) {
            if (const auto self = weak.lock()) self->onSecureInput(on);
        })
        .disposed(disposeBag_);
}

void VDStatusBarMenu::onSecureInput(bool on)
{
    QMenu& menu = *menu_;
    if (!on) {
        statusItem_->setImage(normalIcon);
        if (!shown_) return;
        for (QAction* item : warningItems_) menu.removeAction(item);
        shown_ = false;
        log.info("Secure input end");
        return;
    }
    statusItem_->setImage(alertIcon);
    if (shown_) return;
    const std::optional<SecureInputHolder> holder =
        services_.appUsingSecureInput ? services_.appUsingSecureInput() : std::nullopt;
    const std::optional<RunningApplication> frontmost =
        holder || !services_.frontmostApplication ? std::nullopt : services_.frontmostApplication();
    const std::string label = secureInputHolderLabel(holder, frontmost);
    applicationLabel_->setText(qs(label));
    QAction* first = menu.actions().isEmpty() ? nullptr : menu.actions().first();
    for (QAction* item : warningItems_) menu.insertAction(first, item);
    shown_ = true;
    log.info("In secure input by ->", label);
}

void VDStatusBarMenu::showPreferences()
{
    services_.mainQueue->schedule([show = services_.showPreferences] {
        log.debug("showPreferences");
        call(show, "Preferences");
    });
}

void VDStatusBarMenu::checkForUpdates()
{
    call(services_.checkForUpdates, "Check for Updates");
}

void VDStatusBarMenu::showFeedback()
{
    services_.mainQueue->schedule([show = services_.showFeedback] { call(show, "Feedback"); });
}

void VDStatusBarMenu::goManual()
{
    openPage(Constants::WebServer::WebSite::manual());
}

void VDStatusBarMenu::goTutorial()
{
    openPage(Constants::WebServer::WebSite::tutorial());
}

void VDStatusBarMenu::openPage(const std::string& page)
{
    const std::string address = page + Constants::WebServer::commonParams();
    const QUrl url(qs(address), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || !services_.openUrl) return;
    services_.openUrl(address);
}

}  // namespace vandrel
