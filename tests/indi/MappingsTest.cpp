// The driver's value mappings and property values, without indiserver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "indi/Mappings.h"
#include "indi/PropertyValues.h"

namespace kavri::indi {
namespace {

TEST(IndiMappings, PortTexts) {
    struct Case {
        const char* text;
        bool valid;
        int number;
        const char* path;
    };
    const Case cases[] = {
        {"auto", true, 0, ""},     {" AUTO ", true, 0, ""}, {"COM3", true, 3, ""},
        {"com16", true, 16, ""},   {"3", true, 3, ""},      {"/dev/pts/4", true, 0, "/dev/pts/4"},
        {"COM0", false, 0, ""},    {"17", false, 0, ""},    {"COM", false, 0, ""},
        {"ttyUSB0", false, 0, ""}, {"", false, 0, ""},      {"3x", false, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto choice = ParsePortText(c.text);
        ASSERT_EQ(choice.has_value(), c.valid);
        if (!choice) continue;
        EXPECT_EQ(choice->number, c.number);
        EXPECT_EQ(choice->devicePath, c.path);
    }
    EXPECT_EQ(PortText(0), "auto");
    EXPECT_EQ(PortText(7), "COM7");
    EXPECT_EQ(PortText(99), "auto");
}

TEST(IndiMappings, PositionsCarryTheShiftAndStayInRange) {
    const FocusRange range{1000, 30000};
    struct Case {
        double client;
        std::optional<int32_t> controller;
    };
    const Case cases[] = {
        {1500, 500},         {0, -1000},
        {30000, 29000},      {1500.4, 500},
        {-1, std::nullopt},  {30001, std::nullopt},
        {NAN, std::nullopt}, {INFINITY, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.client);
        std::string reason;
        EXPECT_EQ(AbsoluteTarget(c.client, range, reason), c.controller);
        EXPECT_EQ(reason.empty(), c.controller.has_value());
    }
    EXPECT_EQ(ClientPosition(500, 1000), 1500);

    std::string reason;
    // The controller holds a signed 16-bit position: a wide range cannot reach past it.
    EXPECT_FALSE(AbsoluteTarget(40000, FocusRange{0, 60000}, reason));
    EXPECT_NE(reason.find("controller"), std::string::npos);
    EXPECT_EQ(RelativeTarget(500, false, 200, range, reason), 700);
    EXPECT_EQ(RelativeTarget(500, true, 200, range, reason), 300);
    EXPECT_FALSE(RelativeTarget(500, true, 1600, range, reason));  // below 0
    EXPECT_FALSE(RelativeTarget(500, true, 0, range, reason));
}

TEST(IndiMappings, SlotsCompensationAndNames) {
    EXPECT_EQ(SlotOfIndex(-1), 0);
    EXPECT_EQ(SlotOfIndex(2), 3);
    EXPECT_EQ(IndexOfSlot(3, 5), 2);
    EXPECT_FALSE(IndexOfSlot(6, 5));
    EXPECT_FALSE(IndexOfSlot(0, 5));

    for (int selector = -1; selector <= 3; ++selector) {
        SCOPED_TRACE(selector);
        EXPECT_EQ(SelectorOfCompensationChoice(CompensationChoiceOfSelector(selector)), selector);
    }
    EXPECT_STREQ(CompensationElement(CompensationChoiceOfSelector(9)), "COMPENSATION_OFF");

    std::string reason;
    EXPECT_EQ(ControllerName("Синий-IIx", 8, reason), "\xD1\xE8\xED\xE8\xE9-II");
    EXPECT_FALSE(ControllerName("H\xCE\xB1", 8, reason));  // Greek alpha: not in the code page
    EXPECT_NE(reason.find("\xCE\xB1"), std::string::npos);
    const char stored[8] = {'\xD1', '\xE8', '\xED', '\xE8', '\xE9', '-', 'I', 'I'};
    EXPECT_EQ(DisplayName(stored, 8), "Синий-II");
    EXPECT_EQ(FocusShiftValue(20000, reason), 20000);
    EXPECT_FALSE(FocusShiftValue(40000, reason));
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
        const auto change = ConfigChangeFor(c.request, snapshot, reason);
        ASSERT_EQ(change.has_value(), c.valid) << reason;
        EXPECT_EQ(reason.empty(), c.valid);
    }

    std::string reason;
    ControllerConfig config = snapshot.config;
    (*ConfigChangeFor(cases[0].request, snapshot, reason))(config);
    EXPECT_EQ(config.focuserSpeed, 250);
    (*ConfigChangeFor(cases[5].request, snapshot, reason))(config);
    EXPECT_EQ(config.wheelStepMode, 1);
    (*ConfigChangeFor(cases[6].request, snapshot, reason))(config);
    EXPECT_EQ(config.focuserStepMicrosteps, 1);  // 1/16 of the largest divisor 16
}

TEST(IndiPropertyValues, OnlyChangedNamesAreRenamed) {
    DeviceSnapshot snapshot;
    snapshot.filters.resize(3);
    std::strcpy(snapshot.filters[0].name, "L");
    std::strcpy(snapshot.filters[1].name, "R");
    const Request request{prop::kFilterName,
                          {"FILTER_SLOT_NAME_1", "FILTER_SLOT_NAME_2", "FILTER_SLOT_NAME_9"},
                          {},
                          {},
                          {"L", "Red", "X"}};
    std::string reason;
    const auto renames = RenamesFor(request, snapshot, reason);
    ASSERT_TRUE(renames);
    ASSERT_EQ(renames->size(), 1u);
    EXPECT_EQ((*renames)[0], std::make_pair(1, std::string("Red")));
    EXPECT_EQ(ElementsFor(prop::kFocusShift, snapshot).size(), 3u);
}

}  // namespace
}  // namespace kavri::indi
