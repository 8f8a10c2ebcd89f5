// "showAnimation" as the strip reads it and as a click flips it.

#include "AnimationPreference.h"
#include "SharedDefaults.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

void storeShowAnimation(std::optional<bool> value)
{
    const auto defaults = getUserDefaults();
    if (value)
        defaults->setValue(DefaultsKey::showAnimation, *value);
    else
        defaults->remove(DefaultsKey::showAnimation);
    defaults->sync();
}

TEST(AnimationPreferenceTest, ReadingAndClicking)
{
    struct Row
    {
        const char *name;
        std::optional<bool> stored;
        bool shownBefore;
        // Visible state after each of three clicks.
        std::vector<bool> shownAfterClicks;
    };
    const Row rows[] = {
        // Not stored: shown, yet the first click reads false and stores true.
        {"newInstallation", std::nullopt, true, {true, false, true}},
        {"storedTrue", true, true, {false, true, false}},
        {"storedFalse", false, false, {true, false, true}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        storeShowAnimation(row.stored);
        EXPECT_EQ(AnimationPreference::isShown(), row.shownBefore);
        for (bool expected : row.shownAfterClicks) {
            EXPECT_EQ(AnimationPreference::toggle(), expected);
            // Written to disk at once: a fresh reader of the suite sees it.
            EXPECT_EQ(SharedDefaults::showAnimation(*getUserDefaults()), expected);
            EXPECT_EQ(AnimationPreference::isShown(), expected);
        }
    }
    storeShowAnimation(std::nullopt);
}

} // namespace
