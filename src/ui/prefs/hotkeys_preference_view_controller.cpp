#include "ui/prefs/hotkeys_preference_view_controller.h"

#include <QLabel>
#include <QMetaObject>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "catalogue/build_in_vd_key_scheme.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/main_queue.h"
#include "core/popup_msg.h"
#include "ui/base/image_asset.h"
#include "ui/base/ui_constants.h"
#include "ui/base/view_componentized.h"
#include "ui/base/view_helpers.h"
#include "ui/prefs/programmatic_table_cell_view.h"
#include "ui/prefs/setting_rows.h"
#include "ui/prefs/vd_hotkey_setting_popup_window.h"
#include "ui/prefs/vd_key_scheme_manager_window.h"

namespace vandrel {

namespace {

std::shared_ptr<KeyService> keyServiceOf(std::shared_ptr<KeyService> given)
{
    if (given) return given;
    log.error("The Hotkeys pane has no key service: it stays empty");
    return nullptr;
}

// What "-" may remove: at least one setting, none of the fixed general bindings.
bool areRemovable(const VDKeyScheme::KeySettings& settings)
{
    return !settings.empty() && std::none_of(settings.begin(), settings.end(), [](const VDKeySettingPtr& s) {
        return s->action()->group() == VDActionGroup::vandrelGeneral;
    });
}

// The hotkeys a removal names, one a line: at most this many lines, the last saying how many more there are.
constexpr std::size_t kListedRemovals = 10;

struct RemovalQuestion {
    QString message;
    QString details;  // every hotkey removed, when there are several
};

RemovalQuestion removalQuestion(const VDKeyScheme::KeySettings& settings)
{
    const auto commandOf = [](const VDKeySettingPtr& setting) {
        return VDKeySchemeOutlineViewDataSource::commandText(setting).toStdString();
    };
    if (settings.size() == 1) {
        const auto& setting = settings.front();
        const auto key = localized("\"${0}\"", setting->key().keyCharWithModifiers());
        const auto command = localized("\"${0}\"", commandOf(setting));
        return {QString::fromStdString(localized("Remove the hotkey ${0} for ${1}?", key, command)), {}};
    }
    const std::size_t listed = settings.size() <= kListedRemovals ? settings.size() : kListedRemovals - 1;
    std::string lines;
    for (std::size_t i = 0; i < listed; ++i)
        lines += (i ? "\n" : "") +
                 localized("${0}: ${1}", settings[i]->key().keyCharWithModifiers(), commandOf(settings[i]));
    if (listed < settings.size()) lines += "\n" + localized("and ${0} more", std::to_string(settings.size() - listed));
    return {QString::fromStdString(localized("Remove the ${0} selected hotkeys?", std::to_string(settings.size()))),
            QString::fromStdString(lines)};
}

rx::SchedulerPtr debounceSchedulerOf(rx::SchedulerPtr given, const PreferencesServices& services)
{
    if (given) return given;
    if (services.mainQueue) return services.mainQueue;
    return MainQueue::shared();
}

}  // namespace

HotkeysPreferenceViewController::HotkeysPreferenceViewController(PreferencesServices services,
                                                                 Dependencies dependencies)
    : PreferencesViewController(PreferencePaneIdentifier::hotkey, services),
      keyService_(keyServiceOf(std::move(dependencies.keyService))),
      recorderEngine_(std::move(dependencies.recorderEngine)),
      basicScheme_(dependencies.basicScheme ? std::move(dependencies.basicScheme) : std::function<VDKeySchemePtr()>([] {
          return BuildInVDKeyScheme::basic();
      })),
      debounceScheduler_(debounceSchedulerOf(std::move(dependencies.debounceScheduler), services)),
      popup_(dependencies.popup ? std::move(dependencies.popup) : PopupPresenter(&popupMsg)),
      keyboardAccess_(services.keyboardAccess)
{
}

HotkeysPreferenceViewController::~HotkeysPreferenceViewController()
{
    disposeBag_.dispose();
    activeSchemeDisposeBag_.dispose();
    schemeNamesDisposeBag_.dispose();
    conflictingBtnsDisposeBag_.dispose();
    delete helpPopover_.data();
}

VDKeySchemeOutlineViewDataSource* HotkeysPreferenceViewController::hotkeysOutlineViewDataSource() const
{
    return hotkeysOutlineView_ ? hotkeysOutlineView_->dataSource() : nullptr;
}

void HotkeysPreferenceViewController::onGuiThread(std::function<void()> work)
{
    QWidget* context = guiContext_.data();
    if (!context) return;
    if (QThread::currentThread() == context->thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

void HotkeysPreferenceViewController::viewDidLoad()
{
    log.verbose("Hotkeys preferences did load");
    PreferencesViewController::viewDidLoad();
    guiContext_ = view();
    const QSize size(PreferencesUIConstants::windowMinWidth, 600 - PreferencesUIConstants::tabHeight);
    view()->resize(size);
    // Its height is what it asks for, not a minimum: on a low screen the window takes the room there is and
    // the outline scrolls.
    view()->setMinimumWidth(size.width());
    containerStackView_ = addFullSizeStackView(container(), Qt::Vertical);
    containerStackView_->setSpacing(PreferencesUIConstants::basicGap);
    viewModel_ = std::make_unique<HotkeysViewModel>(keyService_);
    onNextTurn([this] {
        installSchemeSelector();
        installHotkeysOutline();
        installAddRemoveButtons();
        addHelpButton();
        followKeyboardAccess();
    });
}

// ---- scheme pop-up --------------------------------------------------------------------------------------

void HotkeysPreferenceViewController::installSchemeSelector()
{
    auto* row = new StackView(Qt::Horizontal);
    row->addArrangedSubview(new QLabel(localizedText("Hotkey scheme:")));
    schemePopup_ = new QComboBox();
    schemePopup_->setFixedWidth(240);
    row->addArrangedSubview(schemePopup_);
    row->boxLayout()->addStretch(1);
    containerStackView_->addArrangedSubview(row);

    QObject::connect(schemePopup_, &QComboBox::activated, schemePopup_, [this](int index) { chooseSchemeItem(index); });
    if (!keyService_) return;

    (keyService_->availableKeySchemes | rx::debounce(rx::milliseconds(popupDebounceMilliseconds), debounceScheduler_))
        .subscribe([this](const std::vector<VDKeySchemePtr>& schemes) {
            onGuiThread([this, schemes] { rebuildPopup(schemes); });
        })
        .disposed(disposeBag_);
}

void HotkeysPreferenceViewController::rebuildPopup(const std::vector<VDKeySchemePtr>& schemes)
{
    if (!schemePopup_) return;
    QSignalBlocker quiet(schemePopup_);
    schemePopup_->clear();
    popupSchemes_.clear();
    bool separatorAdded = false;
    for (const auto& scheme : schemes) {
        if (scheme->type() != VDKeySchemeType::builtIn && !separatorAdded) {
            schemePopup_->insertSeparator(schemePopup_->count());
            separatorAdded = true;
        }
        schemePopup_->addItem(QString::fromStdString(scheme->name.value()), static_cast<int>(popupSchemes_.size()));
        popupSchemes_.push_back(scheme);
    }
    schemePopup_->insertSeparator(schemePopup_->count());
    schemePopup_->addItem(localizedText("Manage Hotkey Scheme..."), manageItemData);
    selectActiveInPopup();

    schemeNamesDisposeBag_ = rx::DisposeBag();
    for (const auto& scheme : schemes) {
        std::weak_ptr<VDKeyScheme> weak = scheme;
        scheme->previousAndCurrentName
            .subscribe([this, weak](const VDKeyScheme::NamePair& names) {
                onGuiThread([this, weak, current = names.second] {
                    auto renamed = weak.lock();
                    if (!renamed || !schemePopup_) return;
                    for (int i = 0; i < schemePopup_->count(); ++i)
                        if (schemeOfPopupItem(i) == renamed)
                            schemePopup_->setItemText(i, QString::fromStdString(current));
                });
            })
            .disposed(schemeNamesDisposeBag_);
    }
}

VDKeySchemePtr HotkeysPreferenceViewController::schemeOfPopupItem(int index) const
{
    if (!schemePopup_ || index < 0 || index >= schemePopup_->count()) return nullptr;
    const QVariant data = schemePopup_->itemData(index);
    if (!data.isValid()) return nullptr;
    const int slot = data.toInt();
    if (slot < 0 || slot >= static_cast<int>(popupSchemes_.size())) return nullptr;
    return popupSchemes_[slot].lock();
}

void HotkeysPreferenceViewController::selectActiveInPopup()
{
    if (!schemePopup_ || !keyService_) return;
    const auto active = keyService_->resolveInstalled(keyService_->activeKeyScheme.value());
    QSignalBlocker quiet(schemePopup_);
    for (int i = 0; i < schemePopup_->count(); ++i) {
        if (active && schemeOfPopupItem(i) == active) {
            schemePopup_->setCurrentIndex(i);
            return;
        }
    }
    schemePopup_->setCurrentIndex(-1);
}

void HotkeysPreferenceViewController::chooseSchemeItem(int index)
{
    if (!schemePopup_ || index < 0 || index >= schemePopup_->count()) return;
    if (schemePopup_->itemData(index).toInt() == manageItemData && schemePopup_->itemData(index).isValid()) {
        log.debug("manage key...");
        selectActiveInPopup();
        if (!keySchemeManagerWindow_) {
            keySchemeManagerWindow_ = VDKeySchemeManagerWindow::make(view(), keyService_, basicScheme_);
            if (!keySchemeManagerWindow_) return;
        }
        keySchemeManagerWindow_->show();
        return;
    }
    log.debug("selected index, item count ->", std::to_string(index) + ", " + std::to_string(schemePopup_->count()));
    const auto scheme = schemeOfPopupItem(index);
    if (!scheme) {
        // A separator, or a scheme gone since the last rebuild: the active scheme stays.
        selectActiveInPopup();
        return;
    }
    if (keyService_) keyService_->activate(scheme);
    hotkeysOutlineSelectedIndexes.accept({});
    hotkeysOutlineSelectedKeySettings.accept({});
}

// ---- outline --------------------------------------------------------------------------------------------

void HotkeysPreferenceViewController::installHotkeysOutline()
{
    auto* wrapper = new VDKeySchemeOutlineWrapperView(QRect(0, 0, 200, 420));
    log.debug("outlineViewContainerView height ->", wrapper->height());
    hotkeysOutlineView_ = wrapper->outlineView();
    hotkeysOutlineView_->setAlternatingRowColors(true);
    hotkeysOutlineView_->setIndentation(87);
    hotkeysOutlineView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    hotkeysOutlineView_->setCellMaker(
        [this](int column, const QModelIndex& index) { return outlineCell(column, index); });
    containerStackView_->addArrangedSubview(wrapper);
    containerStackView_->boxLayout()->setStretchFactor(wrapper, 1);

    QObject::connect(hotkeysOutlineView_->selectionModel(), &QItemSelectionModel::selectionChanged, hotkeysOutlineView_,
                     [this] { publishSelection(); });
    QObject::connect(hotkeysOutlineView_, &QTreeView::doubleClicked, hotkeysOutlineView_,
                     [this](const QModelIndex& index) { doWhenDoubleClicked(index); });
    QObject::connect(hotkeysOutlineView_, &VDKeySchemeOutlineView::openRequested, hotkeysOutlineView_,
                     [this](const QModelIndex& index) { doWhenDoubleClicked(index); });
    QObject::connect(hotkeysOutlineView_, &VDKeySchemeOutlineView::deleteKeyPressed, hotkeysOutlineView_,
                     [this] { removeHotkeySettingsSelecting(); });
    if (!keyService_) return;

    (keyService_->activeKeyScheme | rx::filter([](const VDKeySchemePtr& s) { return s != nullptr; }))
        .subscribe(
            [this](const VDKeySchemePtr& scheme) { onGuiThread([this, scheme] { followActiveScheme(scheme); }); })
        .disposed(disposeBag_);
}

void HotkeysPreferenceViewController::followActiveScheme(const VDKeySchemePtr& given)
{
    const auto scheme = keyService_ ? keyService_->resolveInstalled(given) : given;
    if (!scheme || !hotkeysOutlineView_) return;
    selectActiveInPopup();
    if (hotkeysOutlineView_->dataSource()->keyScheme() == scheme) return;

    activeSchemeDisposeBag_ = rx::DisposeBag();
    conflictingBtnsDisposeBag_ = rx::DisposeBag();
    hotkeysOutlineView_->dataSource()->setKeyScheme(scheme);
    hotkeysOutlineView_->reloadData();
    publishSelection();

    std::weak_ptr<VDKeyScheme> weak = scheme;
    (scheme->keySettings | rx::skip(1))
        .subscribe([this, weak](const VDKeyScheme::KeySettings&) {
            onGuiThread([this, weak] {
                const auto changed = weak.lock();
                if (changed && hotkeysOutlineView_ && hotkeysOutlineView_->dataSource()->keyScheme() == changed)
                    reloadOutlineKeepingSelection();
            });
        })
        .disposed(activeSchemeDisposeBag_);
}

void HotkeysPreferenceViewController::reloadOutlineKeepingSelection()
{
    if (!hotkeysOutlineView_) return;
    log.debug("reload hotkeyPreferenceViewController");
    const auto rows = hotkeysOutlineView_->selectedRows();
    // The warning buttons of the old rows go with them.
    conflictingBtnsDisposeBag_ = rx::DisposeBag();
    hotkeysOutlineView_->reloadData();
    hotkeysOutlineView_->selectRows(rows, true);
    publishSelection();
}

QWidget* HotkeysPreferenceViewController::outlineCell(int column, const QModelIndex& index)
{
    auto* source = hotkeysOutlineView_->dataSource();
    const auto setting = source->keySetting(index);
    if (!setting) return nullptr;
    if (column == VDKeySchemeOutlineViewDataSource::keyColumn) {
        auto* cell = new ProgrammaticTableHotkeyCellView(QRect(0, 0, 200, 20));
        cell->setObjectName(VDKeySchemeOutlineView::KeyCellId);
        cell->modifiersTextFiled()->setText(QString::fromStdString(setting->key().modifiersString()));
        cell->keyTextFiled()->setText(QString::fromStdString(setting->key().keyChar()));
        return cell;
    }
    if (column != VDKeySchemeOutlineViewDataSource::buttonColumn || !source->keyScheme()) return nullptr;
    const auto conflicts = source->keyScheme()->conflictingHotkeys.value();
    const bool conflicting = std::any_of(conflicts.begin(), conflicts.end(),
                                         [&](const VDKey& key) { return key.keybit() == setting->key().keybit(); });
    if (!conflicting) return nullptr;

    auto* button = new QPushButton();
    button->setIcon(QIcon(QPixmap::fromImage(ImageAsset("c-warning").image())));
    button->setIconSize(QSize(12, 12));
    button->setFlat(true);
    button->setToolTip(localizedText("Conflicting with other hotkey(s). Click to go to the next one."));
    std::weak_ptr<const VDKeySetting> weak = setting;
    auto connection = QObject::connect(button, &QPushButton::clicked, button, [this, weak] {
        if (auto clicked = weak.lock()) selectNextConflict(clicked);
    });
    rx::Disposable::create([connection] { QObject::disconnect(connection); }).disposed(conflictingBtnsDisposeBag_);
    return button;
}

void HotkeysPreferenceViewController::selectNextConflict(const VDKeySettingPtr& setting)
{
    if (!hotkeysOutlineView_ || !setting) return;
    auto* source = hotkeysOutlineView_->dataSource();
    const auto rows = hotkeysOutlineView_->visibleRows();
    std::vector<int> list;
    int current = -1;
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const auto other = source->keySetting(rows[r]);
        if (!other || other->key().keybit() != setting->key().keybit()) continue;
        list.push_back(r);
        if (current >= 0) break;
        if (other == setting) current = static_cast<int>(list.size()) - 1;
    }
    log.debug("indexesOfConflicting ->", list.size());
    int target = -1;
    if (current >= 0 && current + 1 < static_cast<int>(list.size()))
        target = list[current + 1];
    else if (!list.empty())
        target = list.front();
    if (target < 0) return;
    hotkeysOutlineView_->selectRows({target}, false);
    hotkeysOutlineView_->scrollTo(hotkeysOutlineView_->indexOfRow(target));
}

void HotkeysPreferenceViewController::publishSelection()
{
    if (!hotkeysOutlineView_) return;
    const auto rows = hotkeysOutlineView_->selectedRows();
    VDKeyScheme::KeySettings settings;
    for (int row : rows)
        if (auto setting = hotkeysOutlineView_->dataSource()->keySetting(hotkeysOutlineView_->indexOfRow(row)))
            settings.push_back(setting);
    hotkeysOutlineSelectedIndexes.accept(rows);
    hotkeysOutlineSelectedKeySettings.accept(settings);
}

void HotkeysPreferenceViewController::doWhenDoubleClicked(const QModelIndex& index)
{
    if (!hotkeysOutlineView_ || !hasKeyboardAccess_) return;
    auto* source = hotkeysOutlineView_->dataSource();
    const auto scheme = source->keyScheme();
    if (!scheme) return;
    const auto item = source->item(index.siblingAtColumn(0));
    if (const auto* group = std::get_if<VDActionGroup>(&item)) {
        log.debug("doubleClicked ->", std::string(group->rawValue()));
        return;
    }
    const auto setting = source->keySetting(index.siblingAtColumn(0));
    if (!setting) return;
    if (setting->action()->group() == VDActionGroup::vandrelGeneral) {
        const auto title = localized("\"${0}\"", localized(VDActionGroup(VDActionGroup::vandrelGeneral).rawValue()));
        popup_(localized("☝️ The action of the ${0} group cannot be modified", title), 3);
        return;
    }
    const auto settings = scheme->keySettings.value();
    const auto it =
        std::find_if(settings.begin(), settings.end(), [&](const VDKeySettingPtr& s) { return *s == *setting; });
    if (it == settings.end()) return;
    log.debug("doubleCLicked ->", setting->description() + " at " + std::to_string(it - settings.begin()));
    hotkeySettingPopupWindow_ = VDHotkeySettingPopupWindow::make(view(), keyService_, setting, scheme, recorderEngine_);
    if (hotkeySettingPopupWindow_) hotkeySettingPopupWindow_->popup();
}

// ---- add and remove -------------------------------------------------------------------------------------

void HotkeysPreferenceViewController::installAddRemoveButtons()
{
    addRemoveButtons_ = SegmentedControl::createAddAndRemoveButtons().release();
    bottomRow_ = new StackView(Qt::Horizontal);
    bottomRow_->addArrangedSubview(addRemoveButtons_);
    containerStackView_->addArrangedSubview(bottomRow_);
    (hotkeysOutlineSelectedKeySettings | rx::map(areRemovable) | rx::distinctUntilChanged())
        .subscribe([this](bool enabled) {
            if (addRemoveButtons_) addRemoveButtons_->segment(1)->setEnabled(enabled);
        })
        .disposed(disposeBag_);
    QObject::connect(addRemoveButtons_, &SegmentedControl::segmentClicked, addRemoveButtons_, [this](int segment) {
        log.debug("addRemoveButtons clicked ->", segment);
        if (segment == 0) startToAddHotkeySetting();
        if (segment == 1) removeHotkeySettingsSelecting();
    });
}

void HotkeysPreferenceViewController::startToAddHotkeySetting()
{
    log.debug("addHotkeySetting");
    if (!hasKeyboardAccess_) return;
    const auto scheme = hotkeysOutlineViewDataSource() ? hotkeysOutlineViewDataSource()->keyScheme() : nullptr;
    if (!scheme) return;
    hotkeySettingPopupWindow_ = VDHotkeySettingPopupWindow::make(view(), keyService_, nullptr, scheme, recorderEngine_);
    if (hotkeySettingPopupWindow_) hotkeySettingPopupWindow_->popup();
}

void HotkeysPreferenceViewController::removeHotkeySettingsSelecting()
{
    const auto toRemove = hotkeysOutlineSelectedKeySettings.value();
    if (!areRemovable(toRemove) || !keyService_) return;
    const auto scheme = hotkeysOutlineViewDataSource() ? hotkeysOutlineViewDataSource()->keyScheme() : nullptr;
    if (!scheme) return;
    const auto question = removalQuestion(toRemove);
    if (!modal_.confirmRemoval(preferencePaneTitle(), question.message, question.details)) return;
    const auto copy = keyService_->modifyButCreateACutomSchemeForBuildInScheme(
        scheme, [&](VDKeyScheme& target) { removeSelectedKeySettings(target, toRemove); });
    // A copy was stored by the key service; a scheme changed in place is stored here.
    if (!copy && scheme->type() == VDKeySchemeType::custom && !scheme->writeIntoUserDefaults())
        log.error("The key scheme could not be stored after a removal ->", scheme->name.value());
    const auto shown = hotkeysOutlineViewDataSource()->keyScheme();
    if (shown) log.debug("keyScheme ->", shown->toJson().dump());
    // The rows that moved up into the removed ones' places stay unselected: a second "-" asks about nothing.
    hotkeysOutlineView_->clearSelection();
    publishSelection();
}

void HotkeysPreferenceViewController::removeSelectedKeySettings(VDKeyScheme& scheme,
                                                                const VDKeyScheme::KeySettings& toRemove)
{
    log.debug("keySettingsToRemove ->", toRemove.size());
    auto list = scheme.keySettings.value();
    // The objects chosen: an identical binding elsewhere in the list stays.
    std::erase_if(list, [&](const VDKeySettingPtr& s) {
        return std::find(toRemove.begin(), toRemove.end(), s) != toRemove.end();
    });
    scheme.keySettings.accept(list);
}

void HotkeysPreferenceViewController::followKeyboardAccess()
{
    keyboardAccessNote_ =
        new QLabel(localizedText("Hotkeys can be recorded and edited once Vandrel has keyboard access."));
    keyboardAccessNote_->setWordWrap(true);
    keyboardAccessNote_->hide();
    containerStackView_->addArrangedSubview(keyboardAccessNote_);
    if (!keyboardAccess_) return;
    keyboardAccess_()
        .subscribe([this](bool granted) {
            onGuiThread([this, granted] {
                hasKeyboardAccess_ = granted;
                if (addRemoveButtons_) addRemoveButtons_->segment(0)->setEnabled(granted);
                if (keyboardAccessNote_) keyboardAccessNote_->setVisible(!granted);
            });
        })
        .disposed(disposeBag_);
}

// ---- help -----------------------------------------------------------------------------------------------

void HotkeysPreferenceViewController::addHelpButton()
{
    helpButton_ = new QPushButton("?");
    helpButton_->setFixedSize(24, 24);
    helpButton_->setToolTip(localizedText("Help"));
    QObject::connect(helpButton_, &QPushButton::clicked, helpButton_, [this] { showHelpPopover(); });
    // At the bottom right of the pane, level with the +/- control.
    bottomRow_->boxLayout()->addStretch(1);
    bottomRow_->addArrangedSubview(helpButton_);

    helpPopover_ = new QFrame(nullptr, Qt::Popup);
    helpPopover_->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(helpPopover_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new HotkeyHelpViewController(helpPopover_));
}

void HotkeysPreferenceViewController::showHelpPopover()
{
    if (!helpPopover_ || !helpButton_ || helpPopover_->isVisible() || !view()->isVisible()) return;
    helpPopover_->adjustSize();
    const QPoint corner = helpButton_->mapToGlobal(QPoint(0, 0));
    helpPopover_->move(corner.x() - helpPopover_->width(), corner.y() + helpButton_->height() - helpPopover_->height());
    helpPopover_->show();
}

}  // namespace vandrel
