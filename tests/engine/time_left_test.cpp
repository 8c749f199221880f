#include "engine/time_left.h"

#include <gtest/gtest.h>

namespace j3 {
namespace {

TEST(TimeLeft, FromBytesSpeedPausesAndTheMeasuredRate) {
    struct Case {
        const char* description;
        TimeLeftInput in;
        std::string want;
    };
    const Case cases[] = {
        {"bytes at the standard speed", {31250, 3125, 0, 0}, "0:10 left"},
        {"a part second rounds up", {3126, 3125, 0, 0}, "0:02 left"},
        {"pauses add", {31250, 3125, 32000, 0}, "0:42 left"},
        {"a slower measured rate wins", {31250, 3125, 0, 1000}, "0:32 left"},
        {"a faster measured rate wins", {62500, 3125, 0, 62500}, "0:01 left"},
        {"a measured rate holds the pauses", {31250, 3125, 32000, 3125}, "0:10 left"},
        {"minutes", {3125 * 725, 3125, 0, 0}, "12:05 left"},
        {"hours", {3125LL * 3723, 3125, 0, 0}, "1:02:03 left"},
        {"nothing left", {0, 3125, 0, 0}, "0:00 left"},
        {"no speed, measured", {5000, 0, 0, 2500}, "0:02 left"},
        {"nothing known", {5000, 0, 1000, 0}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(time_left_text(c.in), c.want) << c.description;
}

TEST(TimeLeft, RateMeterMeasuresFromTheFirstTickAndStartsAgainWhenTheCountGoesBack) {
    RateMeter meter;
    meter.add(1000, 0);
    meter.add(1200, 800);
    EXPECT_EQ(meter.rate(), 0);  // too short a look
    meter.add(2000, 3000);
    EXPECT_DOUBLE_EQ(meter.rate(), 3000.0);
    meter.add(2100, 100);  // the next dump
    EXPECT_EQ(meter.rate(), 0);
    meter.add(3100, 2100);
    EXPECT_DOUBLE_EQ(meter.rate(), 2000.0);
}

}  // namespace
}  // namespace j3
