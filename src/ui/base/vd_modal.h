// Alerts and confirmations: a message box with a headline, an explanatory text and one or two buttons,
// run modally on the main thread. Texts come in already localized and are shown as plain text, never as
// markup or links.
//
//   if (VDModal().confirm(tr("Delete scheme?"), tr("It cannot be undone."), tr("Delete"), tr("Cancel"))) ...
//
// Every call builds a fresh message box, so calls on one VDModal never pile their buttons together.
// An answerer given to a VDModal decides instead of the user (a scripted run, a test).
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

namespace vandrel {

class VDModal {
public:
    // Answers a prepared box: returns the index of the button pressed, in the order the buttons were
    // added (0 is the first), or -1 when the box was dismissed without one.
    using Answerer = std::function<int(QMessageBox& box)>;

    VDModal() = default;
    // Boxes of this modal go to the answerer; with an empty one the user answers.
    explicit VDModal(Answerer answerer) : answerer_(std::move(answerer)) {}
    virtual ~VDModal() = default;

    // Informational, one button; true when it was pressed.
    virtual bool alert(const QString& message, const QString& informative, const QString& okButtonText);
    // Which button Return presses.
    enum class DefaultButton { ok, cancel };

    // Two buttons; true when the first (okButtonText) was pressed. A question whose "yes" destroys something
    // makes Cancel the default, so a reflexive Return keeps it, and shows the warning icon; any other
    // question is informational.
    virtual bool confirm(const QString& message, const QString& informative, const QString& okButtonText,
                         const QString& cancelButtonText, DefaultButton defaultButton = DefaultButton::ok);
    // The question before something is removed for good: "Remove" or "Cancel" under "This cannot be undone.",
    // Cancel the default and the warning icon, titled "Vandrel — what" as the window it comes from. True
    // only for Remove. details (what is removed, one a line) stands above the warning.
    bool confirmRemoval(const QString& what, const QString& message, const QString& details = {});
    // Critical, one button.
    virtual void warning(const QString& message, const QString& informative, const QString& okButtonText);
    // A warning whose text ends, after an empty line, with the request to contact us with the above.
    virtual void warningToContactUs(const QString& message, const QString& informative, const QString& okButtonText);

    // The boxes' window title: "Vandrel", or "Vandrel — what" (productWindowTitle).
    void setTitle(const QString& what);

private:
    int run(QMessageBox::Icon icon, const QString& message, const QString& informative,
            const std::vector<QString>& buttons, std::size_t defaultIndex = 0) const;

    Answerer answerer_;
    QString title_;
};

}  // namespace vandrel
