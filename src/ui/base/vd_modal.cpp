#include "ui/base/vd_modal.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <vector>

#include "core/localize.h"
#include "ui/base/window_title.h"

namespace vandrel {

namespace {

constexpr int kFirstButton = 0;

}  // namespace

int VDModal::run(QMessageBox::Icon icon, const QString& message, const QString& informative,
                 const std::vector<QString>& buttons, std::size_t defaultIndex) const
{
    QMessageBox box;
    box.setWindowTitle(title_.isEmpty() ? productWindowTitle() : title_);
    box.setIcon(icon);
    box.setText(message);
    box.setInformativeText(informative);
    // Texts may quote what came from outside (a feed's title, a server's reason phrase): never markup,
    // never a link. The box's own setting does not reach its informative text.
    box.setTextFormat(Qt::PlainText);
    for (auto* label : box.findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
        label->setOpenExternalLinks(false);
    }
    // The headline stands out as on the platform's own alerts.
    if (auto* headline = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = headline->font();
        font.setBold(true);
        headline->setFont(font);
    }
    std::vector<QAbstractButton*> added;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        added.push_back(box.addButton(buttons[i], role));
    }
    if (!added.empty()) {
        if (auto* preferred = qobject_cast<QPushButton*>(added.at(std::min(defaultIndex, added.size() - 1))))
            box.setDefaultButton(preferred);
        box.setEscapeButton(added.back());
    }

    if (answerer_) return answerer_(box);

    box.exec();
    for (std::size_t i = 0; i < added.size(); ++i) {
        if (box.clickedButton() == added[i]) return static_cast<int>(i);
    }
    return -1;
}

bool VDModal::alert(const QString& message, const QString& informative, const QString& okButtonText)
{
    return run(QMessageBox::Information, message, informative, {okButtonText}) == kFirstButton;
}

bool VDModal::confirm(const QString& message, const QString& informative, const QString& okButtonText,
                      const QString& cancelButtonText, DefaultButton defaultButton)
{
    const bool destructive = defaultButton == DefaultButton::cancel;
    return run(destructive ? QMessageBox::Warning : QMessageBox::Information, message, informative,
               {okButtonText, cancelButtonText}, destructive ? 1 : 0) == kFirstButton;
}

bool VDModal::confirmRemoval(const QString& what, const QString& message, const QString& details)
{
    setTitle(what);
    const QString undone = QString::fromStdString(localized("This cannot be undone."));
    return confirm(message, details.isEmpty() ? undone : details + "\n\n" + undone,
                   QString::fromStdString(localized("Remove")), QString::fromStdString(localized("Cancel")),
                   DefaultButton::cancel);
}

void VDModal::warning(const QString& message, const QString& informative, const QString& okButtonText)
{
    run(QMessageBox::Critical, message, informative, {okButtonText});
}

void VDModal::setTitle(const QString& what)
{
    title_ = productWindowTitle(what);
}

void VDModal::warningToContactUs(const QString& message, const QString& informative, const QString& okButtonText)
{
    const QString text =
        informative + "\n\n" + QString::fromStdString(localized("_some_ploblem_contact_us_with_info_above"));
    warning(message, text, okButtonText);
}

}  // namespace vandrel
