#include "ui/base/control_helpers.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>

#include "core/log_capture.h"
#include "ui/base/color_hex.h"
#include "ui/base/image_asset.h"
#include "ui/base/image_resize.h"
#include "ui/base/segmented_control.h"

using namespace vandrel;

namespace {

void expectColor(const std::optional<QColor>& color, int r, int g, int b)
{
    ASSERT_TRUE(color.has_value());
    EXPECT_EQ(color->red(), r);
    EXPECT_EQ(color->green(), g);
    EXPECT_EQ(color->blue(), b);
    EXPECT_EQ(color->alpha(), 255);
}

}  // namespace

TEST(ColorHex, ReadsSixAndThreeDigitTextAndRejectsTheRest)
{
    expectColor(ColorHex::fromHex("FFF"), 255, 255, 255);
    expectColor(ColorHex::fromHex("#1A2B3C"), 26, 43, 60);
    expectColor(ColorHex::fromHex("0x1234"), 0, 18, 52);
    EXPECT_FALSE(ColorHex::fromHex("#12345").has_value());
    EXPECT_FALSE(ColorHex::fromHex("GGGGGG").has_value());
    EXPECT_FALSE(ColorHex::fromHex("").has_value());

    const QColor eight = ColorHex::hex8(0x11223380);
    EXPECT_EQ(eight.red(), 0x11);
    EXPECT_EQ(eight.blue(), 0x33);
    EXPECT_EQ(eight.alpha(), 0x80);
    EXPECT_EQ(ColorHex::hex3(0xF00, 0.5).red(), 255);
    EXPECT_NEAR(ColorHex::hex3(0xF00, 0.5).alphaF(), 0.5, 0.01);
}

TEST(ImageResize, FitsTheBoxWithoutEnlarging)
{
    auto scaled = [](int w, int h) { return resizeImage(QImage(w, h, QImage::Format_ARGB32), 100, 32); };
    EXPECT_EQ(scaled(1000, 500)->size(), QSize(64, 32));
    EXPECT_EQ(scaled(50, 20)->size(), QSize(50, 20));
    EXPECT_EQ(scaled(1000, 100)->size(), QSize(100, 10));
    EXPECT_FALSE(resizeImage(QImage(), 100, 32).has_value());
}

TEST(ControlHelpers, ModifierFlagsBecomeKeyCodes)
{
    EXPECT_TRUE(toVdModifiers(Qt::NoModifier).empty());
    EXPECT_EQ(toVdModifiers(Qt::MetaModifier | Qt::ShiftModifier), (std::set<int>{55, 56}));
    EXPECT_EQ(toVdModifiers(Qt::AltModifier | Qt::ControlModifier | Qt::KeypadModifier, true),
              (std::set<int>{57, 58, 59}));

    QPushButton button("OK");
    beMinimalLimited(&button, 20);
    EXPECT_EQ(button.minimumWidth(), 81);
}

TEST(SegmentedControl, AddAndRemoveAreTwoMomentarySegments)
{
    auto control = SegmentedControl::createAddAndRemoveButtons();
    ASSERT_EQ(control->segmentCount(), 2);
    std::vector<int> clicked;
    QObject::connect(control.get(), &SegmentedControl::segmentClicked, [&](int i) { clicked.push_back(i); });
    EXPECT_FALSE(control->segment(0)->isCheckable());
    control->segment(1)->click();
    control->segment(0)->click();
    EXPECT_EQ(clicked, (std::vector<int>{1, 0}));
    EXPECT_EQ(control->segment(2), nullptr);
}

TEST(ImageAsset, EveryNamedImageLoadsAndAMissingOneIsLoggedAndEmpty)
{
    for (const ImageAsset* asset :
         {&Asset::simpleLogo, &Asset::vandrelLogo, &Asset::menubarIcon, &Asset::menubarIconAlert, &Asset::switch1,
          &Asset::hotkey, &Asset::settingsGear64, &Asset::lab, &Asset::note, &Asset::quiet, &Asset::transparent,
          &Asset::cWarning, &Asset::cCheck, &Asset::attach, &Asset::info, &Asset::lockOpen, &Asset::lockClose}) {
        EXPECT_FALSE(asset->image().isNull()) << asset->name();
    }

    test::ScopedLogCapture logs;
    EXPECT_TRUE(ImageAsset("NoSuchImage").image().isNull());
    EXPECT_EQ(logs->count(LogLevel::error), 1u);
    EXPECT_TRUE(logs->contains(LogLevel::error, "Unable to load image named NoSuchImage."));
}
