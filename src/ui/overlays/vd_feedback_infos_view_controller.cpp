#include "ui/overlays/vd_feedback_infos_view_controller.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "core/localize.h"
#include "core/log.h"
#include "ui/base/view_componentized.h"

namespace vandrel {

namespace {

QString tabLabel(const char* key)
{
    return QString::fromStdString(localized(key));
}

}  // namespace

VDFeedbackInfosViewController::VDFeedbackInfosViewController(std::shared_ptr<FeedbackDiagnostics> diagnostics,
                                                             QWidget* parent)
    : QWidget(parent), diagnostics_(diagnostics ? std::move(diagnostics) : std::make_shared<FeedbackDiagnostics>())
{
}

void VDFeedbackInfosViewController::loadView()
{
    if (tabView_) return;
    containerView_ = ViewComponentized::create<WindowContainerView>(this);
    tabView_ = new QTabWidget(containerView_);
    auto* layout = new QVBoxLayout(containerView_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabView_);
    addSystemInfoTab();
    addLogTab();
    addPreferencesTab();
}

QWidget* VDFeedbackInfosViewController::makeScrollView(const QString& text)
{
    auto* view = new QPlainTextEdit();
    view->setPlainText(text);
    view->setReadOnly(true);
    view->setFrameShape(QFrame::NoFrame);
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->viewport()->setAutoFillBackground(false);
    view->setStyleSheet("QPlainTextEdit { background: transparent; }");
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(QApplication::font().pointSizeF());
    view->setFont(font);
    return view;
}

void VDFeedbackInfosViewController::addSystemInfoTab()
{
    QWidget* page = nullptr;
    try {
        page = makeScrollView(QString::fromStdString(diagnostics_->systemInfo().dump(2)));
    } catch (const nlohmann::json::exception& e) {
        log.error("system facts cannot be written as JSON ->", e.what());
    }
    tabView_->addTab(page ? page : new QWidget(), tabLabel("System"));
}

void VDFeedbackInfosViewController::addLogTab()
{
    QWidget* page = nullptr;
    QFile file(QString::fromStdString(diagnostics_->debugLogUrl().string()));
    if (file.open(QIODevice::ReadOnly)) {
        page = makeScrollView(QString::fromUtf8(file.readAll()));
    } else {
        log.error("get content of debug.log fail",
                  file.fileName().toStdString() + ": " + file.errorString().toStdString());
    }
    tabView_->addTab(page ? page : new QWidget(), tabLabel("Log"));
}

void VDFeedbackInfosViewController::addPreferencesTab()
{
    tabView_->addTab(makeScrollView(QString::fromStdString(diagnostics_->defaultsDebugDescription())),
                     tabLabel("Preferences"));
}

}  // namespace vandrel
