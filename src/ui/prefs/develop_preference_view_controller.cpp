#include "ui/prefs/develop_preference_view_controller.h"

#include "core/log.h"
#include "ui/base/ui_constants.h"
#include "ui/prefs/setting_rows.h"

namespace vandrel {

MyBtn::MyBtn(const QString& title, QWidget* parent) : QPushButton(title, parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

DevelopPreferenceViewController::DevelopPreferenceViewController(const PreferencesServices& services)
    : PreferencePane(PreferencePaneIdentifier::develop),
      ownedBtn2_(std::make_unique<MyBtn>("hello button2~~~")),
      ownedOldRecorder_(services.makeDevelopOldRecorder ? services.makeDevelopOldRecorder() : nullptr),
      btn2_(ownedBtn2_.get()),
      keyboardAccess_(services.keyboardAccess)
{
    if (!ownedOldRecorder_) ownedOldRecorder_ = std::make_unique<ZRShortcutRecorder>();
    ownedOldRecorder_->setGeometry(0, 50, 200, 20);
    oldRecorder_ = ownedOldRecorder_.get();
    if (services.makeDevelopHotkeyRecorder) hotkeyRecorder_ = services.makeDevelopHotkeyRecorder();
    QObject::connect(btn2_, &QPushButton::clicked, btn2_, [this] { btn2Clicked(); });
}

// The hotkey recorder goes first and takes its control out of the view; the base class then deletes the view.
DevelopPreferenceViewController::~DevelopPreferenceViewController() = default;

void DevelopPreferenceViewController::viewDidLoad()
{
    view()->resize(PreferencesUIConstants::windowMinWidth, viewHeight);
    addHotkeyRecorder();
}

void DevelopPreferenceViewController::addHotkeyRecorder()
{
    btn2_->move(0, 100);
    btn2_->resize(btn2_->sizeHint());
    if (hotkeyRecorder_) {
        hotkeyRecorder_->clearRecordedHotkey();
        hotkeyRecorder_->view()->setParent(view());
    }
    ownedOldRecorder_.release()->setParent(view());
    ownedBtn2_.release()->setParent(view());

    // The hotkey recorder hears keys through the engine, which runs once the program has keyboard access.
    keyboardAccessNote_ =
        new QLabel(localizedText("Hotkeys can be recorded and edited once Vandrel has keyboard access."), view());
    keyboardAccessNote_->move(0, 140);
    keyboardAccessNote_->resize(keyboardAccessNote_->sizeHint());
    keyboardAccessNote_->hide();
    if (!keyboardAccess_) return;
    keyboardAccess_()
        .subscribe([this](bool granted) {
            if (hotkeyRecorder_) hotkeyRecorder_->view()->setEnabled(granted);
            keyboardAccessNote_->setVisible(!granted);
        })
        .disposed(disposeBag_);
}

void DevelopPreferenceViewController::viewDidAppear()
{
    if (hotkeyRecorder_) hotkeyRecorder_->startFocusingObserve();
}

void DevelopPreferenceViewController::viewWillDisappear()
{
    log.debug("viewWillDisappear");
    if (hotkeyRecorder_) hotkeyRecorder_->stopKeyEventObserver(stopReasonViewWillDisappear);
}

void DevelopPreferenceViewController::btn2Clicked()
{
    QWidget* window = isViewLoaded() ? view()->window() : nullptr;
    if (!window) return;
    if (QWidget* focused = window->focusWidget()) focused->clearFocus();
}

}  // namespace vandrel
