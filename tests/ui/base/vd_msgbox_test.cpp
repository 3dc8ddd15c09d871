#include "ui/base/vd_msgbox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <thread>

#include "core/popup_msg.h"
#include "rx/virtual_time_scheduler.h"

using namespace vandrel;

namespace {

// One turn of the main queue: everything posted so far runs.
void runMainTurn()
{
    QCoreApplication::sendPostedEvents();
}

class VDMsgboxTest : public testing::Test {
protected:
    void SetUp() override { VDMsgbox::installAsPresenter(clock); }
    void TearDown() override
    {
        clock->advanceBy(rx::seconds(60));
        setPopupPresenter({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
};

QSize labelFittingSize(const QString& text)
{
    QLabel label(text);
    QFont font = QApplication::font();
    font.setPixelSize(28);
    label.setFont(font);
    return label.sizeHint();
}

}  // namespace

TEST_F(VDMsgboxTest, MessageFromWorkerThreadShowsOnTheNextMainTurnAsAClickThroughFloatingBox)
{
    std::thread worker([] { popupMsg("Scheme created", 3); });
    worker.join();
    EXPECT_EQ(VDMsgbox::displaying(), nullptr);

    runMainTurn();
    auto box = VDMsgbox::displaying();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), "Scheme created");
    const auto flags = box->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_FALSE(box->isActiveWindow());

    // Also from the main thread the box waits for the next turn.
    popupMsg("Later", 3);
    EXPECT_EQ(VDMsgbox::displaying(), box);
    runMainTurn();
    EXPECT_NE(VDMsgbox::displaying(), box);

    QDir().mkpath(VANDREL_SCREENSHOT_DIR);
    EXPECT_TRUE(box->grab().save(QString(VANDREL_SCREENSHOT_DIR) + "/transient_message.png"));
}

TEST_F(VDMsgboxTest, SecondMessageReplacesTheFirstWhichFadesOut)
{
    popupMsg("Caps Lock on", 3);
    runMainTurn();
    auto first = VDMsgbox::displaying();
    ASSERT_NE(first, nullptr);
    clock->advanceBy(rx::seconds(1));

    popupMsg("Caps Lock off", 3);
    runMainTurn();
    auto second = VDMsgbox::displaying();
    ASSERT_NE(second, first);
    EXPECT_TRUE(first->isFading());
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(second->isFading());

    clock->advanceBy(rx::seconds(VDMsgbox::fadeSeconds + 0.05));
    EXPECT_TRUE(first->isClosed());

    // The first box's own timer fires later and changes nothing on screen.
    clock->advanceBy(rx::seconds(1.8));
    EXPECT_TRUE(first->isClosed());
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(second->isFading());

    clock->advanceBy(rx::seconds(0.85));
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(second->isFading());
    clock->advanceBy(rx::seconds(0.05));
    EXPECT_TRUE(second->isFading());
    clock->advanceBy(rx::seconds(VDMsgbox::fadeSeconds + 0.05));
    EXPECT_TRUE(second->isClosed());
    EXPECT_LT(second->windowOpacity(), 0.01);
}

TEST_F(VDMsgboxTest, BoxIsTheTextsFittingSizePlusPaddingsAndLivesUntilItsTimedHide)
{
    for (const QString& text : {QString(), QString("A short message")}) {
        auto box = VDMsgbox::create(text, VMsgboxStyle::defaultStyle(), clock);
        const QSize fitting = labelFittingSize(text);
        EXPECT_EQ(box->size(), QSize(fitting.width() + 24, fitting.height() + 16)) << text.toStdString();
    }

    VDMsgbox::present("Held by its timer", 2, clock);
    EXPECT_NE(VDMsgbox::displaying(), nullptr);
    clock->advanceBy(rx::seconds(2 + VDMsgbox::fadeSeconds + 0.05));
    EXPECT_EQ(VDMsgbox::displaying(), nullptr);
}

TEST_F(VDMsgboxTest, ALongMessageWrapsAndTheBoxStaysOnItsScreen)
{
    EXPECT_EQ(VDMsgbox::wrapWidth(1600), 720);
    EXPECT_EQ(VDMsgbox::wrapWidth(900), 600);
    const QString failure = QString("Your feedback could not be sent: the server answered with an error. ").repeated(3);
    auto box = VDMsgbox::present(failure.toStdString(), 3, clock);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(box->width(), VDMsgbox::wrapWidth(screen.width()));
    EXPECT_GT(box->height(), labelFittingSize("One line").height() * 2) << "wrapped onto several lines";
    EXPECT_TRUE(screen.contains(box->geometry())) << "on its screen";
}

TEST_F(VDMsgboxTest, ZeroOrNegativeTimeHidesOnTheNextTurn)
{
    for (double time : {0.0, -1.0, std::nan("")}) {
        auto box = VDMsgbox::present("Gone soon", time, clock);
        EXPECT_TRUE(box->isVisible());
        EXPECT_FALSE(box->isFading());
        clock->runDue();
        EXPECT_TRUE(box->isFading());
        clock->advanceBy(rx::seconds(1));
        EXPECT_TRUE(box->isClosed());
    }
}
