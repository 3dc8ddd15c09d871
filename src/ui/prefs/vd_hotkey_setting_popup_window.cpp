#include "ui/prefs/vd_hotkey_setting_popup_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <utility>

#include "catalogue/built_in_vd_action.h"
#include "core/localize.h"
#include "core/log.h"
#include "model/key_kit.h"
#include "ui/base/control_helpers.h"
#include "ui/base/ui_constants.h"
#include "ui/base/view_componentized.h"
#include "ui/base/window_container_view.h"
#include "ui/prefs/setting_group_stack_view.h"
#include "ui/prefs/setting_rows.h"
#include "ui/prefs/settings_container_stack_view.h"
#include "ui/prefs/times_param_selector.h"
#include "ui/prefs/vd_hotkey_popup_button.h"
#include "ui/prefs/vd_hotkey_recorder.h"
#include "ui/prefs/vd_key_scheme_outline.h"

namespace vandrel {

namespace {

// "Hotkey" and ":" are localized apart, as every row title of the sheet.
QLabel* rowTitle(const char* word)
{
    return makeTitleLabel(QString::fromStdString(localized(word) + localized(":")));
}

}  // namespace

std::unique_ptr<VDHotkeySettingPopupWindow> VDHotkeySettingPopupWindow::make(QWidget* opener,
                                                                             std::shared_ptr<KeyService> keyService,
                                                                             VDKeySettingPtr keySetting,
                                                                             VDKeySchemePtr keyScheme,
                                                                             HotkeyRecorderEngine recorderEngine)
{
    QWidget* parentWindow = opener ? opener->window() : nullptr;
    if (!parentWindow || !keyScheme) {
        log.error("The key-setting sheet needs a window to open on");
        return nullptr;
    }
    return std::make_unique<VDHotkeySettingPopupWindow>(Passkey{}, parentWindow, std::move(keyService),
                                                        std::move(keySetting), std::move(keyScheme),
                                                        std::move(recorderEngine));
}

VDHotkeySettingPopupWindow::VDHotkeySettingPopupWindow(Passkey, QWidget* parentWindow,
                                                       std::shared_ptr<KeyService> keyService,
                                                       VDKeySettingPtr keySetting, VDKeySchemePtr keyScheme,
                                                       HotkeyRecorderEngine recorderEngine)
    : parentWindow_(parentWindow),
      recorderEngine_(std::move(recorderEngine)),
      editor_(std::move(keyService), std::move(keyScheme), keySetting),
      settingWindow_(new QDialog(parentWindow, Qt::Sheet))
{
    settingWindow_->setWindowModality(Qt::WindowModal);
    settingWindow_->setWindowTitle(QStringLiteral("Vandrel \u2014 ") + localizedText("Hotkey Setting"));
    settingWindow_->resize(std::max(parentWindow->width() - 2 * UIConstants::windowPadding, 400), 240);
    auto* container = ViewComponentized::create<WindowContainerView>(settingWindow_);
    auto* column = new StackView(Qt::Vertical);
    auto* centerContainerStack = ViewComponentized::create<SettingsContainerStackView>(column);
    hotkeyGroupStack_ = ViewComponentized::create<SettingGroupStackView>(centerContainerStack);
    actionGroupStack_ = ViewComponentized::create<SettingGroupStackView>(centerContainerStack);
    paramGroupStack_ = ViewComponentized::create<SettingGroupStackView>(centerContainerStack);
    column->boxLayout()->addStretch(1);
    auto* layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(column, 1);

    installHotkeyRecorder();
    installActionSelector();
    if (keySetting) {
        installParameterBlock(keySetting->action(), keySetting->paramSequence());
        // Shown before the chooser is watched: opening stores nothing.
        if (keySetting->action() != BuiltInVDAction::noAction())
            actionPopupButton_->selectAction(*keySetting->action());
    }
    installSettingWindowButtons();
    if (keySetting && keySetting->action()->group() == VDActionGroup::vandrelGeneral) disable();
    startActionMonitoring();
}

VDHotkeySettingPopupWindow::~VDHotkeySettingPopupWindow()
{
    paramsDisposebag_.dispose();
    settingWindowDisposebag_.dispose();
    delete settingWindow_.data();
}

void VDHotkeySettingPopupWindow::popup()
{
    if (!parentWindow_) return;
    // The dialog itself takes the focus: a focused recorder would start recording, and silence the keyboard,
    // before the user asked for it.
    settingWindow_->setFocusPolicy(Qt::StrongFocus);
    settingWindow_->setFocus();
    settingWindow_->open();
}

void VDHotkeySettingPopupWindow::disable()
{
    if (hotkeyRecorder_) hotkeyRecorder_->setEnabled(false);
    if (actionPopupButton_) actionPopupButton_->setEnabled(false);
    for (const auto& selector : parameterSelectors_)
        if (selector) selector->setEnabled(false);
}

void VDHotkeySettingPopupWindow::removeAllParameterSelectors()
{
    paramsDisposebag_ = rx::DisposeBag();
    parameterSelectors_.clear();
    for (auto* child : paramGroupStack_->arrangedSubviews()) delete child;
}

void VDHotkeySettingPopupWindow::installHotkeyRecorder()
{
    auto [title, content] = addTitledRow(hotkeyGroupStack_);
    title->addArrangedSubview(rowTitle("Hotkey"));
    hotkeyRecorder_ = new VDHotkeyRecorder(recorderEngine_);
    hotkeyRecorder_->setModifiersMustIncluding({57});
    content->addArrangedSubview(hotkeyRecorder_);
    // Right under the field, in a row of its own: it never covers a control, and the sentence has the width
    // it needs.
    auto [noteTitle, noteContent] = addTitledRow(hotkeyGroupStack_);
    conflictNote_ = makeNoteLabel(QString());
    noteContent->addArrangedSubview(conflictNote_);
    conflictRow_ = noteContent->parentWidget();
    editor_.conflictingSettings.subscribe([this](const VDKeyScheme::KeySettings& others) { showConflicts(others); })
        .disposed(settingWindowDisposebag_);
    if (const auto key = editor_.hotkeyToSet.value()) {
        hotkeyRecorder_->recordedHotkey.accept(key);
        hotkeyRecorder_->flashTitle({}, -1);
    }
    hotkeyRecorder_->startFocusingObserve();
    (hotkeyRecorder_->recordedHotkey | rx::skip(1))
        .subscribe([this](const std::optional<VDKey>& key) {
            if (key) editor_.setHotkey(*key);
        })
        .disposed(settingWindowDisposebag_);

    auto [marker, note] = addTitledRow(hotkeyGroupStack_, SettingItemStackView::ItemType::marked);
    note->addArrangedSubview(makeNoteLabel(QString::fromStdString(localized(
        "Please use a hotkey with Caps Lock key, for example, ${0}.", KeyKit::modifiersToString({55, 57}) + "A"))));
}

void VDHotkeySettingPopupWindow::showConflicts(const VDKeyScheme::KeySettings& others)
{
    std::string names;
    for (const auto& other : others) {
        if (!names.empty()) names += ", ";
        names += localized("\"${0}\"", VDKeySchemeOutlineViewDataSource::commandText(other).toStdString());
    }
    conflictNote_->setText(QString::fromStdString(
        localized("\u26a0 Also used by ${0}: while two commands share a hotkey, neither runs.", names)));
    // The row goes with the note, so no empty row stands between the field and its hint.
    conflictRow_->setVisible(!others.empty());
}

void VDHotkeySettingPopupWindow::installActionSelector()
{
    auto [title, content] = addTitledRow(actionGroupStack_);
    title->addArrangedSubview(rowTitle("Action"));
    actionPopupButton_ = new VDHotkeyPopupButton(settingWindow_);
    actionPopupButton_->installAllBuildInSetableActions();
    actionPopupButton_->addSeparator();
    noneItem_ = actionPopupButton_->addItem(localizedText("None"));
    noneItem_->setTag(-1);
    noneItem_->setRepresentedObject(BuiltInVDAction::noAction());
    actionPopupButton_->selectItem(actionPopupButton_->numberOfItems() - 1);
    content->addArrangedSubview(actionPopupButton_);
}

void VDHotkeySettingPopupWindow::pickAction(const VDActionPtr& action)
{
    if (!action) return;
    if (action->idName() == BuiltInVDAction::noAction()->idName())
        noneItem_->trigger();
    else
        actionPopupButton_->selectAction(*action);
}

void VDHotkeySettingPopupWindow::startActionMonitoring()
{
    for (const auto& menu : actionPopupButton_->groupedActionMenus()) {
        if (!menu) continue;
        menu->changedItem
            .subscribe([this](VDHotkeyMenuItem* item) {
                log.debug("changedItemsss -->");
                actionChosen(item ? item->representedAction() : nullptr);
            })
            .disposed(settingWindowDisposebag_);
    }
    // "None" belongs to no group menu: its pick is read from the item itself.
    QObject::connect(noneItem_, &QAction::triggered, actionPopupButton_,
                     [this] { actionChosen(noneItem_->representedAction()); });
}

void VDHotkeySettingPopupWindow::actionChosen(const VDActionPtr& action)
{
    if (!action) {
        log.error("Get represented object (VDAction) from selected item fail");
        return;
    }
    const auto held = editor_.keySetting.value();
    const auto params = held && held->action() == action ? held->paramSequence() : HotkeySettingEditor::Params{};
    installParameterBlock(action, params);
    editor_.chooseAction(action);
}

void VDHotkeySettingPopupWindow::installParameterBlock(const VDActionPtr& action,
                                                       const HotkeySettingEditor::Params& params)
{
    removeAllParameterSelectors();
    const auto values = HotkeySettingEditor::selectorValues(action, params);
    for (std::size_t i = 0; i < values.size(); ++i) installParameterSelector(values[i], i);
}

void VDHotkeySettingPopupWindow::installParameterSelector(const VDAtomicActionParam& param, std::size_t index)
{
    switch (param.kind()) {
        case VDAtomicActionParam::Case::times: {
            auto [title, content] = addTitledRow(paramGroupStack_);
            title->addArrangedSubview(rowTitle("Number of Times"));
            auto* selector = new TimesParamSelector(QString::number(*param.timesValue()));
            selector->setFormatter(new NumberOfTimesFormatter(selector));
            selector->addItemsWithObjectValues(TimesParamSelector::defaultListValues);
            selector->setFixedWidth(60);
            content->addArrangedSubview(selector);
            parameterSelectors_.emplace_back(selector);
            selector->changedParamValue
                .subscribe([this, index](int n) { editor_.updateParams(VDAtomicActionParam::times(n), index); })
                .disposed(paramsDisposebag_);
            break;
        }
        case VDAtomicActionParam::Case::windowBindingId: {
            auto [title, content] = addTitledRow(paramGroupStack_);
            title->addArrangedSubview(rowTitle("Window"));
            auto* selector = new QComboBox();
            for (int n = 1; n <= 20; ++n) selector->addItem(QString::number(n));
            selector->setCurrentIndex(selector->findText(QString::number(*param.windowBindingIdValue())));
            content->addArrangedSubview(selector);
            parameterSelectors_.emplace_back(selector);
            QObject::connect(selector, &QComboBox::activated, selector, [this, selector, index](int item) {
                bool ok = false;
                const int slot = selector->itemText(item).toInt(&ok);
                if (ok) editor_.updateParams(VDAtomicActionParam::windowBindingId(slot), index);
            });
            break;
        }
        case VDAtomicActionParam::Case::keyId: {
            auto [title, content] = addTitledRow(paramGroupStack_);
            title->addArrangedSubview(rowTitle("Keystroke"));
            auto* recorder = new VDHotkeyRecorder(recorderEngine_);
            recorder->setModifiersMustNotIncluding({57});
            content->addArrangedSubview(recorder);
            parameterSelectors_.emplace_back(recorder);
            if (const auto keybit = VDKey::keybitFromId(*param.keyIdValue())) {
                recorder->recordedHotkey.accept(VDKey::fromKeybit(keybit.value()));
                recorder->flashTitle({}, -1);
            }
            recorder->startFocusingObserve();
            (recorder->recordedHotkey | rx::skip(1))
                .subscribe([this, index](const std::optional<VDKey>& key) {
                    if (key) editor_.updateParams(VDAtomicActionParam::keyId(key->id()), index);
                })
                .disposed(paramsDisposebag_);
            break;
        }
        default:
            break;
    }
}

void VDHotkeySettingPopupWindow::installSettingWindowButtons()
{
    cancelButton_ = new QPushButton(localizedText("Cancel"));
    beMinimalLimited(cancelButton_, UIConstants::buttonMinWidth);
    doneButton_ = new QPushButton(localizedText("Done"));
    doneButton_->setDefault(true);
    beMinimalLimited(doneButton_, UIConstants::buttonMinWidth);
    auto* row = new QHBoxLayout();
    row->addStretch(1);
    row->addWidget(cancelButton_);
    row->addWidget(doneButton_);
    auto* layout = static_cast<QVBoxLayout*>(settingWindow_->findChild<WindowContainerView*>()->layout());
    doneNote_ = makeNoteLabel(QString());
    doneNote_->hide();
    layout->addWidget(doneNote_);
    layout->addLayout(row);
    // Escape and closing the window reject the dialog as Cancel does: the draft goes with it.
    QObject::connect(cancelButton_, &QPushButton::clicked, settingWindow_, [this] { settingWindow_->reject(); });
    QObject::connect(doneButton_, &QPushButton::clicked, settingWindow_, [this] {
        log.debug("all params ->", editor_.paramsToSet.value().size());
        // Done on what cannot be stored would close as if it had been: the sheet stays and says what is missing.
        doneRefused_ = editor_.missing() != HotkeySettingEditor::Missing::nothing;
        showWhatIsMissing();
        if (doneRefused_) return;
        editor_.commit();
        settingWindow_->accept();
    });
    // Once refused, the note follows the choices, and goes when nothing is missing any more.
    const auto follow = [this](const auto&) {
        if (doneRefused_) showWhatIsMissing();
    };
    (editor_.hotkeyToSet | rx::skip(1)).subscribe(follow).disposed(settingWindowDisposebag_);
    (editor_.actionToSet | rx::skip(1)).subscribe(follow).disposed(settingWindowDisposebag_);
    (editor_.paramsToSet | rx::skip(1)).subscribe(follow).disposed(settingWindowDisposebag_);
}

void VDHotkeySettingPopupWindow::showWhatIsMissing()
{
    const char* text = nullptr;
    switch (editor_.missing()) {
        case HotkeySettingEditor::Missing::hotkey:
            text = "Not stored yet: record a hotkey with Caps Lock first.";
            break;
        case HotkeySettingEditor::Missing::action:
            text = "Not stored yet: choose an action for this hotkey first.";
            break;
        case HotkeySettingEditor::Missing::parameters:
            text = "Not stored yet: choose a value in each of the action's rows first.";
            break;
        case HotkeySettingEditor::Missing::nothing:
            break;
    }
    if (text) doneNote_->setText(localizedText(text));
    doneNote_->setVisible(text != nullptr);
}

}  // namespace vandrel
