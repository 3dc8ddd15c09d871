#include "ui/prefs/preferences_window_controller.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QEvent>
#include <QIcon>
#include <QPixmap>
#include <QShortcut>
#include <QThread>
#include <QVBoxLayout>
#include <utility>

#include "core/localize.h"
#include "core/log.h"
#include "ui/base/vd_window_controller.h"
#include "ui/base/window_close_keys.h"
#include "ui/prefs/preference_panes.h"

namespace vandrel {

PreferencesWindowController::PreferencesWindowController(std::vector<std::shared_ptr<PreferencePane>> panes,
                                                         bool hidesToolbarForSingleItem)
    : panes_(std::move(panes)),
      window_(std::make_unique<QWidget>(
          nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint))
{
    std::erase(panes_, nullptr);
    window_->setWindowIconText(QString::fromStdString(localized("Vandrel Preferences")));
    window_->setWindowTitle(QString::fromStdString(localized("Vandrel Preferences")));
    WindowCloseKeys::install(*window_, [this] { close(); });
    // The panes from the keyboard, as tabs go on Linux desktops.
    const auto addPaneKeys = [this](std::initializer_list<QKeySequence> keys, int step) {
        for (const QKeySequence& key : keys) {
            auto* shortcut = new QShortcut(key, window_.get());
            connect(shortcut, &QShortcut::activated, this, [this, step] { selectNeighbour(step); });
        }
    };
    addPaneKeys({QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)}, 1);
    addPaneKeys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                 QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
                -1);

    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The window takes the size of what it shows; the user does not resize it.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    toolbar_ = new QToolBar(window_.get());
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setIconSize(QSize(32, 32));
    auto* group = new QActionGroup(toolbar_);
    group->setExclusive(true);
    for (const auto& pane : panes_) {
        auto* action =
            toolbar_->addAction(QIcon(QPixmap::fromImage(pane->toolbarItemIcon())), pane->preferencePaneTitle());
        action->setCheckable(true);
        action->setData(QString::fromStdString(pane->preferencePaneIdentifier().rawValue));
        group->addAction(action);
        PreferencePane* target = pane.get();
        connect(action, &QAction::triggered, this, [this, target] { select(*target); });
        actions_.push_back(action);
    }
    toolbar_->setVisible(!(hidesToolbarForSingleItem && panes_.size() == 1));
    layout->addWidget(toolbar_);

    tabs_ = new PreferencesTabViewController(window_.get());
    layout->addWidget(tabs_, 0, Qt::AlignLeft | Qt::AlignTop);
    window_->installEventFilter(this);
}

PreferencesWindowController::~PreferencesWindowController()
{
    // A pane on screen hears that it leaves (the Develop pane ends a recording that pauses key delivery).
    window_->hide();
    window_->removeEventFilter(this);
    // The panes outlive this window: their views go back to them before the window deletes its children.
    tabs_->releaseViews();
}

void PreferencesWindowController::select(PreferencePane& pane)
{
    if (selected_ == &pane) return;
    const bool onScreen = window_->isVisible();
    PreferencePane* leaving = selected_;
    if (onScreen && leaving) leaving->viewWillDisappear();
    if (onScreen) pane.viewWillAppear();
    tabs_->transition(leaving, pane);
    selected_ = &pane;
    window_->setWindowTitle(QString::fromStdString(localized("Vandrel Preferences")) + QStringLiteral(" \u2014 ") +
                            pane.preferencePaneTitle());
    for (std::size_t i = 0; i < panes_.size(); ++i) actions_[i]->setChecked(panes_[i].get() == &pane);
    if (onScreen) pane.viewDidAppear();
}

void PreferencesWindowController::selectNeighbour(int step)
{
    if (panes_.empty()) return;
    const auto count = static_cast<int>(panes_.size());
    int index = 0;
    for (int i = 0; i < count; ++i)
        if (panes_[i].get() == selected_) index = i;
    select(*panes_[((index + step) % count + count) % count]);
}

void PreferencesWindowController::show(const std::optional<PreferencePaneIdentifier>& identifier)
{
    if (panes_.empty()) {
        log.error("the preferences window has no panes to show");
        return;
    }
    PreferencePane* pane = nullptr;
    if (identifier) {
        for (const auto& p : panes_)
            if (p->preferencePaneIdentifier() == *identifier) pane = p.get();
        if (!pane) log.warning("the preferences window has no such pane", identifier->rawValue);
    }
    if (!pane) pane = selected_ ? selected_ : panes_.front().get();
    select(*pane);
    window_->show();
    window_->raise();
    window_->activateWindow();
    if (!everShown_) {
        everShown_ = true;
        centerWindowOnScreen(window_.get());
    }
}

void PreferencesWindowController::close()
{
    window_->close();
}

bool PreferencesWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_.get() && selected_) {
        if (event->type() == QEvent::Show) {
            selected_->viewWillAppear();
            selected_->viewDidAppear();
        } else if (event->type() == QEvent::Hide) {
            selected_->viewWillDisappear();
        }
    }
    return QObject::eventFilter(watched, event);
}

InstalledInstance<PreferencesWindowController>& PreferencesWindowController::installed()
{
    static InstalledInstance<PreferencesWindowController> slot;
    return slot;
}

PreferencesWindowController& PreferencesWindowController::shared()
{
    auto controller = installed().get();
    if (!controller) {
        controller = createShared();
        installed().install(controller);
    }
    return *controller;
}

void PreferencesWindowController::setShared(std::shared_ptr<PreferencesWindowController> controller)
{
    installed().install(std::move(controller));
}

bool PreferencesWindowController::hasShared()
{
    return installed().get() != nullptr;
}

std::unique_ptr<PreferencesWindowController> PreferencesWindowController::createShared()
{
    auto& panes = PreferencePanes::shared();
    return std::make_unique<PreferencesWindowController>(panes.updatePreferencePanes(), true);
}

void PreferencesWindowController::rebuildShared()
{
    shared().close();
    // The old controller goes only after the new one exists: the panes move over with their views.
    auto old = installed().set(createShared());
    old.reset();
}

void showPreferences()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        log.error("showPreferences: no application to show the window in");
        return;
    }
    // Windows are made and shown on the main thread only.
    if (QThread::currentThread() != app->thread()) {
        log.warning("showPreferences called off the main thread; it runs there on the next turn");
        QMetaObject::invokeMethod(
            app, [] { showPreferences(); }, Qt::QueuedConnection);
        return;
    }
    PreferencesWindowController::shared().show();
}

}  // namespace vandrel
