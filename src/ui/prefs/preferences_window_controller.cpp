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
#include "ui/base/window_fit.h"
#include "ui/base/window_title.h"
#include "ui/prefs/preference_panes.h"

namespace vandrel {

namespace {

QString preferencesText()
{
    return QString::fromStdString(localized("_preferences_window_title"));
}

}  // namespace

PreferencesWindowController::PreferencesWindowController(std::vector<std::shared_ptr<PreferencePane>> panes,
                                                         bool hidesToolbarForSingleItem)
    : panes_(std::move(panes)),
      window_(std::make_unique<QWidget>(
          nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint))
{
    std::erase(panes_, nullptr);
    window_->setWindowIconText(productWindowTitle(preferencesText()));
    window_->setWindowTitle(productWindowTitle(preferencesText()));
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
    // The pane area scrolls only when a pane is taller than the screen leaves room for.
    paneArea_ = new ContentScrollArea(tabs_);
    layout->addWidget(paneArea_, 0, Qt::AlignLeft | Qt::AlignTop);
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
    fitPane(pane);
    window_->setWindowTitle(
        productWindowTitle(preferencesText() + QStringLiteral(" \u2014 ") + pane.preferencePaneTitle()));
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
    // Placed before it is mapped, so the window manager frames it where it belongs.
    if (!everShown_) {
        everShown_ = true;
        window_->layout()->activate();
        centerWindowOnScreen(window_.get());
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void PreferencesWindowController::close()
{
    window_->close();
}

void PreferencesWindowController::fitPane(PreferencePane& pane)
{
    // Room for a pane under the toolbar, within the screen's available area.
    const int toolbar = toolbar_->isVisible() ? toolbar_->sizeHint().height() : 0;
    const int room = std::max(1, WindowFit::maximumSize(*window_).height() - toolbar);
    paneArea_->setMaximumHeight(room);
    QWidget* view = pane.view();
    QLayout* layout = view->layout();
    if (!layout) return;
    layout->activate();
    // The pane's own size is its least: it grows to what its text needs at its width (wrapped lines
    // included) and shrinks to the room there is when its content can (a list that scrolls); otherwise the
    // pane area scrolls.
    QSize size = view->size();
    size.setWidth(std::max(size.width(), layout->totalMinimumSize().width()));
    const int needed =
        layout->hasHeightForWidth() ? layout->totalHeightForWidth(size.width()) : layout->totalMinimumSize().height();
    size.setHeight(std::max(size.height(), needed));
    if (size.height() > room && layout->totalMinimumSize().height() <= room) size.setHeight(room);
    if (size != view->size() || tabs_->size() != size) {
        view->resize(size);
        tabs_->setFixedSize(size);
    }
    // The window grows downwards from its top edge: never past the bottom of the available area.
    window_->layout()->activate();
    if (window_->isVisible()) WindowFit::keepInside(*window_);
}

bool PreferencesWindowController::eventFilter(QObject* watched, QEvent* event)
{
    // A pane's rows come a turn after its view, and its notes when their state says so: the window follows,
    // once the layouts have settled.
    if (watched == window_.get() && event->type() == QEvent::LayoutRequest && !fitPending_) {
        fitPending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                fitPending_ = false;
                if (selected_) fitPane(*selected_);
            },
            Qt::QueuedConnection);
    }
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
