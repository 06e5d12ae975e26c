// The adaptive key rule: the changed-share bounds and the trial's byte
// comparison at their thresholds, and the chooser narrowing its band after
// real trial encodes.
#include "encode/key_choice.h"

#include <gtest/gtest.h>

#include "encode/synthetic_clip.h"
#include "image/jpeg_format.h"

namespace veltro {
namespace {

KeyChoiceRule rule(double low, double high, double indexBytes = 1.5) {
    KeyChoiceRule r;
    r.keyShareLow = low;
    r.keyShareHigh = high;
    r.indexBytesPerSprite = indexBytes;
    return r;
}

TEST(KeyChoiceRuleTest, ChangedShareAtItsBounds) {
    const KeyChoiceRule r = rule(0.45, 0.80);
    // 1200 blocks (320 x 240): 540 is exactly 45 %, 960 exactly 80 %.
    EXPECT_EQ(choiceByChangedShare(539, 1200, r), KeyChoice::Difference);
    EXPECT_EQ(choiceByChangedShare(540, 1200, r), KeyChoice::Trial);
    EXPECT_EQ(choiceByChangedShare(959, 1200, r), KeyChoice::Trial);
    EXPECT_EQ(choiceByChangedShare(960, 1200, r), KeyChoice::Key);
    EXPECT_EQ(choiceByChangedShare(1200, 1200, r), KeyChoice::Key);
    // Nothing changed, no blocks at all, or a count beyond the grid.
    EXPECT_EQ(choiceByChangedShare(0, 1200, r), KeyChoice::Difference);
    EXPECT_EQ(choiceByChangedShare(0, 0, r), KeyChoice::Difference);
    EXPECT_EQ(choiceByChangedShare(5, 0, r), KeyChoice::Difference);
    EXPECT_EQ(choiceByChangedShare(5000, 1200, r), KeyChoice::Key);
    // A band of width 0 leaves no trial: below is difference, at it key.
    EXPECT_EQ(choiceByChangedShare(599, 1200, rule(0.5, 0.5)), KeyChoice::Difference);
    EXPECT_EQ(choiceByChangedShare(600, 1200, rule(0.5, 0.5)), KeyChoice::Key);
    // The shipped rule keeps a real band.
    EXPECT_LT(adaptiveKeyRule().keyShareLow, adaptiveKeyRule().keyShareHigh);
}

TEST(KeyChoiceRuleTest, ChoiceLooksAtHalfTheThresholdUpToQuality85) {
    KeyChoiceRule r = rule(0.45, 0.80);
    r.thresholdPart = 0.5;
    r.highestChoiceQuality = 85;
    // Threshold 4800 at quality 50: half of it (2400) is quality 75's; 9600
    // at 0: 4800 is quality 50's; 2400 at 70: 1440 is quality 85's.
    EXPECT_EQ(choiceQuality(50, r), 75);
    EXPECT_EQ(choiceQuality(0, r), 50);
    EXPECT_EQ(choiceQuality(70, r), 85);
    // Half of 75's threshold would be quality 87.5: held to 85, as from 70 on ...
    EXPECT_EQ(choiceQuality(75, r), 85);
    EXPECT_EQ(choiceQuality(80, r), 85);
    EXPECT_EQ(choiceQuality(85, r), 85);
    // ... and never below the difference frame's own quality.
    EXPECT_EQ(choiceQuality(90, r), 90);
    EXPECT_EQ(choiceQuality(95, r), 95);
    EXPECT_EQ(choiceQuality(100, r), 100);
    EXPECT_EQ(choiceQuality(130, r), 100);
    EXPECT_EQ(choiceQuality(-5, r), 50);
    // The whole threshold: the difference frame's own mask.
    r.thresholdPart = 1.0;
    EXPECT_EQ(choiceQuality(60, r), 60);
    // The shipped rule looks at finer changes than the frame sends.
    EXPECT_GT(choiceQuality(75), 75);
}

TEST(KeyChoiceRuleTest, TrialVerdictAtEqualCost) {
    const KeyChoiceRule r = rule(0.45, 0.80, 1.5);
    // 100 sprites add 150 index bytes: the key frame wins up to 1000 + 150.
    EXPECT_TRUE(keyCostsLess(1150, 1000, 100, r));
    EXPECT_FALSE(keyCostsLess(1151, 1000, 100, r));
    EXPECT_TRUE(keyCostsLess(999, 1000, 0, r));
    EXPECT_FALSE(keyCostsLess(1001, 1000, 0, r));
    // Without index costs, equal bytes still choose the key frame (it also
    // refreshes every block).
    EXPECT_TRUE(keyCostsLess(1000, 1000, 100, rule(0.45, 0.80, 0.0)));
}

// A 320 x 240 frame whose top rows of blocks (the first `rows` of 30)
// are flagged changed.
std::vector<uint8_t> topRowsChanged(int rows) {
    std::vector<uint8_t> changed(40 * 30, 0);
    std::fill(changed.begin(), changed.begin() + 40 * rows, 1);
    return changed;
}

ImageBuffer flatFrame() {
    ImageBuffer frame(320, 240);
    for (uint32_t& p : frame.pixels)
        p = synthetic::rgb(90, 120, 150);
    return frame;
}

// Busy below, flat in the changed top part: sprites cost far less than the
// whole picture.
ImageBuffer busyBelowFrame(int flatRows) {
    ImageBuffer frame = synthetic::texturedBackground(320, 240);
    for (int y = 0; y < flatRows * 8; ++y)
        for (int x = 0; x < 320; ++x)
            frame.at(x, y) = synthetic::rgb(200, 200, 200);
    return frame;
}

TEST(AdaptiveKeyChooserTest, SharesOutsideTheBandNeedNoTrial) {
    JpegFormat jpeg;
    AdaptiveKeyChooser chooser(rule(0.45, 0.80));
    EXPECT_FALSE(chooser.storeAsKeyFrame(flatFrame(), topRowsChanged(13), jpeg));  // 43 %
    EXPECT_TRUE(chooser.storeAsKeyFrame(flatFrame(), topRowsChanged(24), jpeg));   // 80 %
    EXPECT_EQ(chooser.counts().byShareDifference, 1);
    EXPECT_EQ(chooser.counts().byShareKey, 1);
    EXPECT_EQ(chooser.counts().trials, 0);
}

TEST(AdaptiveKeyChooserTest, TrialDecidesInTheBandAndNarrowsIt) {
    JpegFormat jpeg;
    // Flat picture, 60 % changed: the key frame is a few hundred bytes, the
    // 720 sprites' index alone more than that.
    AdaptiveKeyChooser keyWins(rule(0.45, 0.80));
    EXPECT_TRUE(keyWins.storeAsKeyFrame(flatFrame(), topRowsChanged(18), jpeg));
    EXPECT_EQ(keyWins.counts().trials, 1);
    EXPECT_EQ(keyWins.counts().trialKeys, 1);
    EXPECT_NEAR(keyWins.high(), 0.60 - AdaptiveKeyChooser::kLearnedMargin, 1e-9);
    // From 55 % on the verdict carries over without another trial.
    EXPECT_TRUE(keyWins.storeAsKeyFrame(flatFrame(), topRowsChanged(17), jpeg));  // 56.7 %
    EXPECT_EQ(keyWins.counts().trials, 1);
    EXPECT_TRUE(keyWins.storeAsKeyFrame(flatFrame(), topRowsChanged(16), jpeg));  // 53.3 %: a new trial
    EXPECT_EQ(keyWins.counts().trials, 2);

    // Flat changed part over a busy picture: the sprites win.
    AdaptiveKeyChooser spritesWin(rule(0.45, 0.80));
    EXPECT_FALSE(spritesWin.storeAsKeyFrame(busyBelowFrame(15), topRowsChanged(15), jpeg));  // 50 %
    EXPECT_EQ(spritesWin.counts().trials, 1);
    EXPECT_EQ(spritesWin.counts().trialKeys, 0);
    EXPECT_NEAR(spritesWin.low(), 0.50 + AdaptiveKeyChooser::kLearnedMargin, 1e-9);
    EXPECT_FALSE(spritesWin.storeAsKeyFrame(busyBelowFrame(16), topRowsChanged(16), jpeg));  // 53.3 %
    EXPECT_EQ(spritesWin.counts().trials, 1);
    // The band never turns over: low stays at or below high.
    EXPECT_LE(spritesWin.low(), spritesWin.high());
}

}  // namespace
}  // namespace veltro
