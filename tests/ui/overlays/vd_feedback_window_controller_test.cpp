#include "ui/overlays/vd_feedback_window_controller.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <vector>

#include "core/defaults_keys.h"
#include "core/popup_msg.h"
#include "core/settings_store.h"
#include "rx/virtual_time_scheduler.h"

using namespace vandrel;

namespace {

struct Popup {
    std::string text;
    double seconds;
    bool operator==(const Popup&) const = default;
};

// One upload as the form handed it over.
struct Upload {
    FeedbackSubmission submission;
    std::shared_ptr<FeedbackDiagnostics> diagnostics;
    FeedbackUploader::Completion completion;
};

class FeedbackFormTest : public testing::Test {
protected:
    void SetUp() override
    {
        settings.set(DefaultsKeys::feedback_apiBase, std::string("https://feedback.example.org"));
        VDFeedbackWindowController::installShared(VDFeedbackWindowController::create(services()));
    }

    void TearDown() override { VDFeedbackWindowController::installShared(nullptr); }

    VDFeedbackServices services()
    {
        VDFeedbackServices s;
        s.settings = &settings;
        s.mainQueue = mainQueue;
        s.debounceScheduler = debounce;
        s.popup = [this](const std::string& text, double seconds) { popups.push_back({text, seconds}); };
        s.upload = [this](const FeedbackSubmission& submission, std::shared_ptr<FeedbackDiagnostics> diagnostics,
                          FeedbackUploader::Completion completion) {
            uploads.push_back({submission, diagnostics, completion});
        };
        s.chooseFile = [this](QWidget*) {
            auto next = chosenFiles.front();
            chosenFiles.pop_front();
            return next;
        };
        s.rebuildPreferences = [this] { ++preferencesRebuilt; };
        s.makeDiagnostics = [this] {
            FeedbackDiagnostics::Sources sources;
            sources.settings = &settings;
            sources.debugLogUrl = dir.filePath("debug.log").toStdString();
            return std::make_shared<FeedbackDiagnostics>(sources);
        };
        return s;
    }

    std::shared_ptr<VDFeedbackWindowController> form() const { return VDFeedbackWindowController::shared(); }

    void fill(const QString& title, const QString& details)
    {
        form()->titleField()->setText(title);
        form()->detailsField()->setPlainText(details);
    }

    // Every control the lock covers, enabled or not.
    static std::vector<bool> enabledStates(const VDFeedbackWindowController& f)
    {
        return {f.typeSelector()->isEnabled(),      f.nameField()->isEnabled(),      f.emailField()->isEnabled(),
                f.titleField()->isEnabled(),        f.detailsField()->isEnabled(),   f.attachFileBtn()->isEnabled(),
                f.sendInofsCheckbox()->isEnabled(), f.infoDetailsBtn()->isEnabled(), f.submitBtn()->isEnabled()};
    }
    static bool isLocked(const VDFeedbackWindowController& f)
    {
        return enabledStates(f) == std::vector<bool>(9, false) && !f.submittingIndicator()->isHidden();
    }
    static bool isUnlocked(const VDFeedbackWindowController& f)
    {
        return enabledStates(f) == std::vector<bool>(9, true) && f.submittingIndicator()->isHidden();
    }

    void showAndActivate()
    {
        form()->showWindow();
        form()->window()->activateWindow();
        QApplication::processEvents();
    }

    QTemporaryDir dir;
    SettingsStore settings{dir.filePath("config").toStdString()};
    std::shared_ptr<rx::VirtualTimeScheduler> mainQueue = rx::VirtualTimeScheduler::make();
    std::shared_ptr<rx::VirtualTimeScheduler> debounce = rx::VirtualTimeScheduler::make();
    std::vector<Upload> uploads;
    std::deque<std::optional<std::filesystem::path>> chosenFiles;
    int preferencesRebuilt = 0;
    std::vector<Popup> popups;
};

}  // namespace

TEST_F(FeedbackFormTest, AnEmptyTitleOrDetailsTakesTheFocusAndNothingIsSent)
{
    showAndActivate();
    fill("", "details");
    form()->submitForm();
    EXPECT_EQ(QApplication::focusWidget(), form()->titleField());

    fill("title", "");
    emit form()->titleField()->returnPressed();  // Return in the title field sends
    EXPECT_EQ(QApplication::focusWidget(), form()->detailsField());

    mainQueue->runDue();
    EXPECT_TRUE(uploads.empty());
    EXPECT_TRUE(isUnlocked(*form()));
    EXPECT_TRUE(popups.empty());
}

TEST_F(FeedbackFormTest, BlanksAreTextAndTheFormStaysLockedUntilTheOutcome)
{
    const std::filesystem::path file = dir.filePath("report.txt").toStdString();
    chosenFiles = {file};
    auto f = form();
    f->nameField()->setText("Ada");
    f->emailField()->setText("ada@example.org");
    f->typeSelector()->setCurrentIndex(1);
    f->attachAFile();
    f->sendInofsCheckbox()->click();
    fill("  ", " \n ");

    f->submitForm();
    EXPECT_TRUE(isUnlocked(*f));  // the lock and the start are queued, in that order
    EXPECT_TRUE(uploads.empty());
    mainQueue->runDue();
    EXPECT_TRUE(isLocked(*f));

    ASSERT_EQ(uploads.size(), 1u);
    const FeedbackSubmission& s = uploads[0].submission;
    EXPECT_EQ(s.user, "Ada");
    EXPECT_EQ(s.email, "ada@example.org");
    EXPECT_EQ(s.title, "  ");
    EXPECT_EQ(s.description, " \n ");
    EXPECT_EQ(s.feedbackType, "featureRequest");
    EXPECT_EQ(s.attachFile, file);
    EXPECT_FALSE(s.isSendInfos);
    // The upload sends what the diagnostics view shows.
    EXPECT_EQ(uploads[0].diagnostics, f->infosViewController()->diagnostics());
}

TEST_F(FeedbackFormTest, AFailureUnlocksTheFormWithEverythingKeptAndItCanBeSentAgain)
{
    chosenFiles = {dir.filePath("shot.png").toStdString()};
    auto f = form();
    f->typeSelector()->setCurrentIndex(1);
    f->attachAFile();
    fill("Crash", "When I press Caps");
    f->submitForm();
    mainQueue->runDue();
    ASSERT_EQ(uploads.size(), 1u);

    uploads[0].completion(FeedbackOutcome{false, {}});
    mainQueue->runDue();
    EXPECT_EQ(form(), f);
    EXPECT_TRUE(isUnlocked(*f));
    EXPECT_EQ(f->titleField()->text(), "Crash");
    EXPECT_EQ(f->detailsField()->toPlainText(), "When I press Caps");
    EXPECT_EQ(f->typeSelector()->currentIndex(), 1);
    EXPECT_EQ(f->attachFileLabel()->text(), "shot.png");
    EXPECT_TRUE(f->sendInofsCheckbox()->isChecked());
    EXPECT_EQ(popups, (std::vector<Popup>{{"Sending failed. Please try again later.", 10}}));

    f->submitForm();
    mainQueue->runDue();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[1].submission.title, "Crash");
    EXPECT_EQ(uploads[1].submission.attachFile, uploads[0].submission.attachFile);
}

TEST_F(FeedbackFormTest, ASuccessClosesTheFormAndTheNextOneStartsFresh)
{
    settings.set(DefaultsKeys::feedback_username, "Ada");
    VDFeedbackWindowController::installShared(VDFeedbackWindowController::create(services()));
    chosenFiles = {dir.filePath("shot.png").toStdString()};
    std::weak_ptr<VDFeedbackWindowController> sent = form();
    {
        auto f = form();
        f->showWindow();
        f->typeSelector()->setCurrentIndex(1);
        f->attachAFile();
        f->sendInofsCheckbox()->click();
        fill("Idea", "More clipboards");
        f->submitForm();
    }
    mainQueue->runDue();
    ASSERT_EQ(uploads.size(), 1u);
    std::exchange(uploads, {})[0].completion(FeedbackOutcome{true, {}});
    mainQueue->runDue();
    EXPECT_TRUE(sent.expired());
    EXPECT_EQ(popups, (std::vector<Popup>{{"Thank you! Your feedback was sent.", 7}}));

    auto fresh = form();
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(fresh->window()->isVisible());
    EXPECT_EQ(fresh->typeSelector()->currentIndex(), 0);
    EXPECT_EQ(fresh->titleField()->text(), "");
    EXPECT_EQ(fresh->detailsField()->toPlainText(), "");
    EXPECT_FALSE(fresh->attachFileUrl().has_value());
    EXPECT_EQ(fresh->attachFileLabel()->text(), "");
    EXPECT_TRUE(fresh->sendInofsCheckbox()->isChecked());
    EXPECT_TRUE(fresh->isSendInfos());
    EXPECT_EQ(fresh->nameField()->text(), "Ada");
    EXPECT_TRUE(isUnlocked(*fresh));
}

TEST_F(FeedbackFormTest, AnUploadKeepsItsFormButASuccessLeavesANewerSharedFormAlone)
{
    std::weak_ptr<VDFeedbackWindowController> sent = form();
    fill("Idea", "More clipboards");
    form()->submitForm();
    mainQueue->runDue();
    ASSERT_EQ(uploads.size(), 1u);

    VDFeedbackWindowController::installShared(VDFeedbackWindowController::create(services()));
    const auto newer = form();
    newer->titleField()->setText("being written");
    ASSERT_FALSE(sent.expired());

    std::exchange(uploads, {})[0].completion(FeedbackOutcome{true, {}});
    mainQueue->runDue();
    EXPECT_TRUE(sent.expired());
    EXPECT_EQ(form(), newer);
    EXPECT_EQ(newer->titleField()->text(), "being written");
}

TEST_F(FeedbackFormTest, TheDeveloperCodeTwiceRestoresTheSettingAndRebuildsThePreferencesEachTime)
{
    const QString code = QString::fromStdString(VDFeedbackWindowController::developerModeCode());
    ASSERT_LE(code.size(), 15);
    fill(code.toUpper(), "");
    form()->submitForm();
    EXPECT_TRUE(settings.get(DefaultsKeys::app_isDevelopMode));
    EXPECT_EQ(preferencesRebuilt, 1);

    fill(code, "kept");
    form()->submitForm();
    EXPECT_FALSE(settings.get(DefaultsKeys::app_isDevelopMode));
    EXPECT_EQ(preferencesRebuilt, 2);
    EXPECT_EQ(popups, (std::vector<Popup>{{"Developer Mode: Opened", 3}, {"Developer Mode: Closed", 3}}));

    mainQueue->runDue();
    EXPECT_TRUE(uploads.empty());
    EXPECT_TRUE(isUnlocked(*form()));
    EXPECT_EQ(form()->titleField()->text(), code);
    EXPECT_EQ(form()->detailsField()->toPlainText(), "kept");
}

TEST_F(FeedbackFormTest, NameAndEmailAreStored300MillisecondsAfterTheLastChangeWithoutSending)
{
    auto f = form();
    f->nameField()->setText("A");
    debounce->advanceBy(std::chrono::milliseconds(200));
    f->nameField()->setText("Ada");
    f->emailField()->setText("ada@example.org");
    debounce->advanceBy(std::chrono::milliseconds(299));
    EXPECT_FALSE(settings.object(DefaultsKeys::feedback_username.key()).has_value());
    EXPECT_FALSE(settings.object(DefaultsKeys::feedback_email.key()).has_value());

    debounce->advanceBy(std::chrono::milliseconds(1));
    EXPECT_EQ(settings.get(DefaultsKeys::feedback_username), "Ada");
    EXPECT_EQ(settings.get(DefaultsKeys::feedback_email), "ada@example.org");
    EXPECT_TRUE(uploads.empty());

    auto next = VDFeedbackWindowController::create(services());
    EXPECT_EQ(next->nameField()->text(), "Ada");
    EXPECT_EQ(next->emailField()->text(), "ada@example.org");

    // A released form stores nothing more.
    f->nameField()->setText("Lost");
    VDFeedbackWindowController::installShared(nullptr);
    f.reset();
    debounce->advanceBy(std::chrono::seconds(1));
    EXPECT_EQ(settings.get(DefaultsKeys::feedback_username), "Ada");
}

TEST_F(FeedbackFormTest, ACancelledChooserDropsTheAttachment)
{
    const std::string longName = std::string(200, 'x') + "-end.log";
    chosenFiles = {dir.filePath("report.txt").toStdString(), std::nullopt, dir.filePath(longName.c_str()).toStdString(),
                   dir.filePath("<a href=x>y<a>.txt").toStdString()};
    auto f = form();
    f->attachFileBtn()->click();
    EXPECT_EQ(f->attachFileLabel()->text(), "report.txt");

    f->attachAFile();
    EXPECT_FALSE(f->attachFileUrl().has_value());
    EXPECT_EQ(f->attachFileLabel()->text(), "");

    // A long name is shortened in the middle, keeping both ends.
    f->attachAFile();
    const QString shown = f->attachFileLabel()->text();
    EXPECT_LT(shown.size(), static_cast<qsizetype>(longName.size()));
    EXPECT_TRUE(shown.startsWith("xxx"));
    EXPECT_TRUE(shown.endsWith("-end.log"));

    // A name is shown as it is, never as markup.
    f->attachAFile();
    EXPECT_EQ(f->attachFileLabel()->text(), "<a href=x>y<a>.txt");
    EXPECT_EQ(f->attachFileLabel()->textFormat(), Qt::PlainText);
}

TEST_F(FeedbackFormTest, TheInfoButtonOpensTheDiagnosticsOnceAndLeavesThemOpen)
{
    auto f = form();
    f->showWindow();
    EXPECT_FALSE(f->infosViewController()->isViewLoaded());
    f->infoDetailsBtn()->click();
    ASSERT_TRUE(f->detailsInfoPopover()->isVisible());
    EXPECT_EQ(f->detailsInfoPopover()->size(), QSize(600, 400));
    QTabWidget* tabs = f->infosViewController()->tabView();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->count(), 3);

    f->infoDetailsBtn()->click();
    EXPECT_TRUE(f->detailsInfoPopover()->isVisible());
    EXPECT_EQ(f->infosViewController()->tabView(), tabs);
    f->detailsInfoPopover()->hide();

    QDir().mkpath(VANDREL_SCREENSHOT_DIR);
    fill("Caps Lock stays on", "Steps:\n1. Hold Caps\n2. Press J");
    EXPECT_TRUE(f->window()->grab().save(QString(VANDREL_SCREENSHOT_DIR) + "/feedback_form.png"));
}

TEST_F(FeedbackFormTest, WithoutAFeedbackAddressTheFormSaysWhereToSetItAndSendsNothing)
{
    settings.set(DefaultsKeys::feedback_apiBase, std::string());
    form()->showWindow();
    EXPECT_FALSE(form()->unavailableNote()->isHidden());
    const std::string note = form()->unavailableNote()->text().toStdString();
    EXPECT_NE(note.find("feedback_apiBase in ~/.config/Vandrel/settings.json"), std::string::npos) << note;
    EXPECT_EQ(enabledStates(*form()), (std::vector<bool>{false, false, false, true, false, false, false, false, false}))
        << "only the title stays, for the developer word";
    fill("Title", "Details");
    form()->submitForm();
    mainQueue->runDue();
    EXPECT_TRUE(uploads.empty());
    EXPECT_TRUE(popups.empty());

    form()->titleField()->setText(QString::fromStdString(VDFeedbackWindowController::developerModeCode()));
    EXPECT_TRUE(form()->submitBtn()->isEnabled());

    settings.set(DefaultsKeys::feedback_apiBase, std::string("https://feedback.example.org"));
    form()->showWindow();
    EXPECT_TRUE(form()->unavailableNote()->isHidden());
    EXPECT_TRUE(isUnlocked(*form()));
}

TEST_F(FeedbackFormTest, TheSharedFormIsLetGoWhenTheEventLoopEnds)
{
    std::weak_ptr<VDFeedbackWindowController> installed = form();
    ASSERT_FALSE(installed.expired());
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    QCoreApplication::exec();
    EXPECT_EQ(form(), nullptr);
    EXPECT_TRUE(installed.expired());
}
