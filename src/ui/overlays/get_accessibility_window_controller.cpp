#include "ui/overlays/get_accessibility_window_controller.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/common_utils.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/main_queue.h"
#include "engine/vdr_core.h"
#include "platform/platform.h"
#include "ui/base/control_helpers.h"
#include "ui/base/ui_constants.h"
#include "ui/base/window_fit.h"
#include "ui/base/window_title.h"
#include "ui/overlays/shared_window_controller.h"

namespace vandrel {

namespace {

constexpr int kWidth = 628;
constexpr int kHeight = 370;
constexpr int kPaddingX = 64;
constexpr int kNumberWidth = 16;

constexpr const char* kWhat = "The input-access guide";

GetAccessibilityServices withDefaults(GetAccessibilityServices services)
{
    if (!services.mainQueue) services.mainQueue = MainQueue::shared();
    if (!services.hasPermission) services.hasPermission = [] { return VdrCore::hasAXPermission(); };
    if (!services.missingAccess) {
        services.missingAccess = []() -> std::vector<std::string> {
            const auto platform = Platform::shared();
            return platform ? platform->missingInputAccess() : std::vector<std::string>{};
        };
    }
    if (!services.grantCommands) {
        services.grantCommands = [] {
            const auto platform = Platform::shared();
            return platform ? platform->inputAccessGrantCommands() : std::string{};
        };
    }
    if (!services.copyText) {
        services.copyText = [](const std::string& text) {
            if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(QString::fromStdString(text));
        };
    }
    if (!services.openHelp) services.openHelp = [] { log.info("No help on granting access in this run"); };
    if (!services.quit) services.quit = [] { QCoreApplication::quit(); };
    if (!services.screens) services.screens = ScreenInfo::system();
    return services;
}

QLabel* wrappingLabel(const std::string& text)
{
    auto* label = new QLabel(QString::fromStdString(text));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// One numbered step: its number, then its text, their first lines side by side. The text takes the row's
// whole width, so its wrapped height is worked out at the width it gets.
QWidget* stepRow(const char* number, QLabel* text, QWidget* content = nullptr)
{
    if (!content) content = text;
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* prefix = new QLabel(number, row);
    prefix->setFixedWidth(kNumberWidth);
    prefix->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(prefix, 0, Qt::AlignTop);
    layout->addWidget(content, 1);
    return row;
}

// The commands as the user copies them: one per line, no blank lines around them.
QLabel* commandsLabel()
{
    auto* label = new QLabel;
    label->setObjectName("commandsBlock");
    // A size smaller than the text's, so the longest command fits the guide's width.
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(mono.pointSizeF() * 0.9);
    label->setFont(mono);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setFrameShape(QFrame::StyledPanel);
    label->setMargin(8);
    label->setAutoFillBackground(true);
    label->setBackgroundRole(QPalette::Base);
    label->setForegroundRole(QPalette::Text);
    // Unwrapped: each command on its own line, and the block as tall as its lines.
    label->setWordWrap(false);
    return label;
}

std::string trimmedLines(const std::string& lines)
{
    std::string out;
    std::size_t start = 0;
    while (start < lines.size()) {
        const std::size_t end = lines.find('\n', start);
        const std::string line = lines.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty()) out += (out.empty() ? "" : "\n") + line;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

}  // namespace

InstalledInstance<GetAccessibilityWindowController::Shared>& GetAccessibilityWindowController::installed()
{
    static InstalledInstance<Shared> slot;
    return slot;
}

std::shared_ptr<GetAccessibilityWindowController> GetAccessibilityWindowController::make(
    GetAccessibilityServices services)
{
    return std::make_shared<GetAccessibilityWindowController>(std::move(services));
}

std::shared_ptr<GetAccessibilityWindowController> GetAccessibilityWindowController::shared()
{
    return Shared::from(installed(), kWhat);
}

void GetAccessibilityWindowController::installShared(std::function<GetAccessibilityServices()> makeServices)
{
    Shared::install(installed(), kWhat, std::move(makeServices));
}

GetAccessibilityWindowController::GetAccessibilityWindowController(GetAccessibilityServices services)
    : PureWithLogoWindowController(kWidth, kHeight, kPaddingX, true),
      services_(withDefaults(std::move(services))),
      textDescription_(wrappingLabel(localized("_get_access_desc"))),
      textStep1_(wrappingLabel(localized("_get_access_step_1"))),
      commands_(commandsLabel()),
      textStep2_(wrappingLabel(localized("_get_access_step_2"))),
      textStep3_(wrappingLabel(localized("_get_access_step_3"))),
      textDone_(wrappingLabel(localized("_get_access_step_done"))),
      quitBtn_(new QPushButton(QString::fromStdString(localized("Quit Vandrel")))),
      openSystemPreferencesBtn_(new QPushButton(QString::fromStdString(localized("_get_access_copy_commands")))),
      doneBtn_(new QPushButton(QString::fromStdString(localized("Done")), window()))
{
    window()->setObjectName("accessibilityGetterWindowContentView");
    installContent();
    installButtons();
}

GetAccessibilityWindowController::~GetAccessibilityWindowController()
{
    waiting_.dispose();
}

void GetAccessibilityWindowController::installContent()
{
    textDescription_->setObjectName("textDescription");
    textDone_->setObjectName("textDone");
    auto* fade = new QGraphicsOpacityEffect(textDone_);
    fade->setOpacity(0);
    textDone_->setGraphicsEffect(fade);
    textStack()->addArrangedSubview(textDescription_);
    auto* step1 = new QWidget;
    auto* step1Column = new QVBoxLayout(step1);
    step1Column->setContentsMargins(0, 0, 0, 0);
    step1Column->addWidget(textStep1_);
    step1Column->addWidget(commands_);
    stepRows_ = {stepRow("1.", nullptr, step1), stepRow("2.", textStep2_), stepRow("3.", textStep3_)};
    for (QWidget* row : stepRows_) textStack()->addArrangedSubview(row);
    textStack()->addArrangedSubview(textDone_);
    refreshTexts();
}

void GetAccessibilityWindowController::installButtons()
{
    quitBtn_->setObjectName("quitBtn");
    openSystemPreferencesBtn_->setObjectName("openSystemPreferencesBtn");
    doneBtn_->setObjectName("doneBtn");
    addButtons({quitBtn_, openSystemPreferencesBtn_});
    beMinimalLimited(doneBtn_, UIConstants::buttonMinWidth);
    doneBtn_->hide();
    setDefaultButton(openSystemPreferencesBtn_);

    connect(quitBtn_, &QPushButton::clicked, this, [this] { services_.quit(); });
    connect(openSystemPreferencesBtn_, &QPushButton::clicked, this, [this] { startToGetAccessibility(); });
    connect(doneBtn_, &QPushButton::clicked, this, [this] { done(); });
}

void GetAccessibilityWindowController::refreshTexts()
{
    const bool hasAccess = state_ == State::granted || state_ == State::closed;
    window()->setWindowTitle(productWindowTitle(QString::fromStdString(
        localized(hasAccess ? "_get_access_window_title_granted" : "_get_access_window_title"))));
    std::string description = localized(hasAccess ? "_get_access_granted_desc" : "_get_access_desc");
    const auto missing = hasAccess ? std::vector<std::string>{} : services_.missingAccess();
    if (!missing.empty()) description += " " + localized("_get_access_missing");
    for (const std::string& line : missing) description += "\n\u2022 " + line;
    textDescription_->setText(QString::fromStdString(description));
    // The steps and their commands only while there is something to grant.
    for (QWidget* row : stepRows_) row->setVisible(!hasAccess);
    commands_->setText(QString::fromStdString(hasAccess ? std::string() : trimmedLines(services_.grantCommands())));
    commands_->setVisible(!commands_->text().isEmpty());
    // Every command whole: the block is never squeezed below its lines, the window grows around it.
    commands_->setMinimumSize(commands_->sizeHint());
}

std::string GetAccessibilityWindowController::text() const
{
    std::string text = textDescription_->text().toStdString();
    if (stepRows_.front()->isHidden()) return text;
    text += "\n1. " + textStep1_->text().toStdString();
    const std::string commands = commands_->text().toStdString();
    std::size_t start = 0;
    while (start < commands.size()) {
        const std::size_t end = commands.find('\n', start);
        text += "\n    " + commands.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    text += "\n2. " + textStep2_->text().toStdString();
    text += "\n3. " + textStep3_->text().toStdString();
    return text;
}

rx::Observable<bool> GetAccessibilityWindowController::checkingAccessibilityObservable() const
{
    return checkingAccessibilityObservable(services_.hasPermission, services_.mainQueue);
}

rx::Observable<bool> GetAccessibilityWindowController::checkingAccessibilityObservable(
    std::function<bool()> hasPermission, rx::SchedulerPtr scheduler)
{
    return rx::interval(pollInterval, std::move(scheduler)) |
           rx::map([hasPermission = std::move(hasPermission)](std::int64_t) { return hasPermission(); }) |
           rx::takeWhile([](bool trusted) { return !trusted; });
}

void GetAccessibilityWindowController::showWindow()
{
    // Opened again, the guide reads as new: its button offers to copy the commands.
    openSystemPreferencesBtn_->setText(QString::fromStdString(localized("_get_access_copy_commands")));
    refreshTexts();
    log.warning("Input access guide:\n" + text());
    PureWithLogoWindowController::showWindow();
}

void GetAccessibilityWindowController::startToGetAccessibility()
{
    if (state_ == State::granted || state_ == State::closed) return;
    services_.copyText(services_.grantCommands());
    openSystemPreferencesBtn_->setText(QString::fromStdString(localized("Copied")));
    services_.openHelp();
    // A second press while waiting keeps the frame and the poll it already has, so the window still goes
    // back where it came from.
    if (state_ == State::waiting) return;
    state_ = State::waiting;
    gotoTopLeftPosition();
    std::weak_ptr<GetAccessibilityWindowController> weak = weak_from_this();
    waiting_ = checkingAccessibilityObservable().subscribe({}, {}, [weak] {
        if (const auto guide = weak.lock()) guide->granted();
    });
}

void GetAccessibilityWindowController::accessGranted()
{
    if (state_ != State::guiding && state_ != State::waiting) return;
    waiting_.dispose();
    state_ = State::waiting;
    granted();
}

void GetAccessibilityWindowController::granted()
{
    if (state_ != State::waiting) return;
    state_ = State::granted;
    refreshTexts();
    if (auto* fade = qobject_cast<QGraphicsOpacityEffect*>(textDone_->graphicsEffect())) fade->setOpacity(1.0);
    changeBtnsToOkBtn();
    fitToContent();
    gobackOriginPosition();
    log.info("Input access granted");
}

void GetAccessibilityWindowController::changeBtnsToOkBtn()
{
    for (QWidget* view : btnStack()->arrangedSubviews()) {
        btnStack()->boxLayout()->removeWidget(view);
        view->hide();
    }
    btnStack()->addArrangedSubview(doneBtn_);
    doneBtn_->show();
    setDefaultButton(doneBtn_);
}

void GetAccessibilityWindowController::gotoTopLeftPosition()
{
    QWidget* w = window();
    // pos() is the frame's corner, where move() puts it back.
    originRect_ = QRect(w->pos(), w->size());
    const QRect screen = services_.screens->visibleFrameOf(*w).value_or(fallbackScreen);
    log.verbose("Input access guide moves to the corner of ->",
                std::vector<int>{screen.x(), screen.y(), screen.width(), screen.height()});
    w->move(screen.x() + cornerGap, screen.y() + cornerGap);
}

void GetAccessibilityWindowController::gobackOriginPosition()
{
    if (!originRect_) return;
    // Where it was, but neither raised nor focused: the user may be typing in the terminal that granted
    // the access.
    window()->move(originRect_->topLeft());
    WindowFit::keepInside(*window());
}

bool GetAccessibilityWindowController::eventFilter(QObject* watched, QEvent* event)
{
    // However the window went (Done, Escape, Ctrl+W, the window manager's close), once access is there the
    // guide is done; before, it only hides and can be shown again.
    if (watched == window() && event->type() == QEvent::Hide && !event->spontaneous() && state_ == State::granted) {
        state_ = State::closed;
        if (doneAction) doneAction();
    }
    return PureWithLogoWindowController::eventFilter(watched, event);
}

void GetAccessibilityWindowController::done()
{
    // Closing a shown guide finishes it (eventFilter); a hidden one is finished here.
    if (window()->isVisible()) {
        window()->close();
        return;
    }
    if (state_ != State::granted) return;
    state_ = State::closed;
    if (doneAction) doneAction();
}

}  // namespace vandrel
