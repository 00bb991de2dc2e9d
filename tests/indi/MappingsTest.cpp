// SPDX-License-Identifier: GPL-3.0-or-later
// The driver's parts without indiserver: the value mappings and the property values.
#include <gtest/gtest.h>

#include "indi/Mappings.h"
#include "indi/PropertyValues.h"

namespace kavri::indi {
namespace {

TEST(IndiMappings, SlotsAndCompensation) {
    EXPECT_EQ(SlotOfIndex(-1), 0);
    EXPECT_FALSE(IndexOfSlot(0, 5));

    for (int selector = -1; selector <= 3; ++selector) {
        SCOPED_TRACE(selector);
        EXPECT_EQ(SelectorOfCompensationChoice(CompensationChoiceOfSelector(selector)), selector);
    }
    EXPECT_STREQ(CompensationElement(CompensationChoiceOfSelector(9)), "COMPENSATION_OFF");
}

TEST(IndiPropertyValues, RequestsBecomeConfigurationChangesWithinTheirRanges) {
    DeviceSnapshot snapshot;
    snapshot.config.focuserSpeed = 100;
    snapshot.config.wheelStepMode = 2;
    snapshot.config.focuserStepMicrosteps = 4;
    snapshot.largestDivisor = 16;
    struct Case {
        Request request;
        bool valid;
    };
    const Case cases[] = {
        {{prop::kSpeed, {"FOCUS_SPEED_VALUE"}, {250}, {}, {}}, true},
        {{prop::kSpeed, {"FOCUS_SPEED_VALUE"}, {5}, {}, {}}, false},
        {{prop::kBacklashSteps, {"FOCUS_BACKLASH_VALUE"}, {1001}, {}, {}}, false},
        {{prop::kWheelSettings, {"FILTER_COUNT"}, {7}, {}, {}}, true},
        {{prop::kWheelSettings, {"FILTER_COUNT"}, {11}, {}, {}}, false},
        {{prop::kWheelOptions, {"HALF_STEP"}, {}, {true}, {}}, true},
        {{prop::kStepSize, {"STEP_16"}, {}, {true}, {}}, true},
        {{prop::kStepSize, {"STEP_3"}, {}, {true}, {}}, false},
        {{prop::kDriverSettings, {"POSITION_SHIFT"}, {5}, {}, {}}, false},  // not in the image
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.property + " " + c.request.names[0]);
        std::string reason;
        const auto values = ConfigValuesFor(c.request, snapshot, reason);
        ASSERT_EQ(values.has_value(), c.valid) << reason;
        EXPECT_EQ(reason.empty(), c.valid);
    }

    std::string reason;
    ControllerConfig config = snapshot.config;
    PutConfigValues(config, *ConfigValuesFor(cases[5].request, snapshot, reason));
    EXPECT_EQ(config.wheelStepMode, 1);
    PutConfigValues(config, *ConfigValuesFor(cases[6].request, snapshot, reason));
    EXPECT_EQ(config.focuserStepMicrosteps, 1);  // 1/16 of the largest divisor 16
}

}  // namespace
}  // namespace kavri::indi
