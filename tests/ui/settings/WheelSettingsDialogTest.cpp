// The wheel settings dialog against the emulated controller: what it shows from the image,
// what OK writes, probes and logs, and that Cancel or a refused field stores nothing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstring>

#include "DialogControls.h"
#include "EmulatedDevice.h"
#include "sim/ImageLayout.h"
#include "ui/common/DialogBuilder.h"
#include "ui/common/UpDownControl.h"
#include "ui/settings/SettingsTemplates.h"
#include "ui/settings/WheelSettingsDialog.h"

namespace kavri::ui {
namespace {

using namespace wheel_ids;
using test::EmulatedDevice;

using test_controls::Control;
using test_controls::Press;

TEST(WheelSettingsDialogTest, ShowsTheImageAndOkStoresTheMappedValues) {
    sim::Image image = sim::DefaultImage();
    image[sim::offset::kWheelStepMode] = 0;  // neither half (1) nor full (2) step
    image[sim::offset::kPowerOutputMode] = 4;
    sim::WriteU16(image, sim::offset::kWheelSpeed, 250);
    sim::WriteU16(image, sim::offset::kMaxStepsBetweenFilters, 1234);
    EmulatedDevice env(&image);
    ASSERT_TRUE(env.Connected());

    WheelSettingsDialog dialog(env.device.get());
    EXPECT_TRUE(Control<QCheckBox>(dialog, kHalfStep)->isChecked());
    EXPECT_EQ(Control<QComboBox>(dialog, kPowerOutputCombo)->currentIndex(), -1);
    EXPECT_EQ(Control<QComboBox>(dialog, kPowerOutputCombo)->count(), 4);
    EXPECT_EQ(Control<QLineEdit>(dialog, kSpeedEdit)->text(), "250");
    EXPECT_EQ(Control<QLineEdit>(dialog, kFilterCountEdit)->text(), "5");
    EXPECT_EQ(Control<QLineEdit>(dialog, kMaxStepsEdit)->text(), "1234");
    EXPECT_TRUE(Control<QWidget>(dialog, kSpeedSpin)->isEnabled());

    Press(dialog, kOkButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(env.messages.empty());
    const sim::Image stored = env.emulator.GetImage();
    EXPECT_EQ(stored[sim::offset::kWheelStepMode], 1);
    EXPECT_EQ(stored[sim::offset::kPowerOutputMode], 255);
    EXPECT_EQ(sim::ReadU16(stored, sim::offset::kWheelSpeed), 250);
    EXPECT_EQ(sim::ReadU16(stored, sim::offset::kMaxStepsBetweenFilters), 1234);
    EXPECT_EQ(env.device->config.wheelStepMode, 1);
    EXPECT_EQ(env.device->config.powerOutputMode, 255);
}

TEST(WheelSettingsDialogTest, ArrowsStayInRangeAndANewFilterCountResizesTheTable) {
    EmulatedDevice env;
    ASSERT_TRUE(env.Connected());
    ASSERT_EQ(env.device->filters.size(), 5u);
    const sim::Image before = env.emulator.GetImage();

    WheelSettingsDialog dialog(env.device.get());
    auto* count = Control<UpDownControl>(dialog, kFilterCountSpin);
    count->Click(true);
    count->Click(true);
    EXPECT_EQ(Control<QLineEdit>(dialog, kFilterCountEdit)->text(), "7");
    auto* speed = Control<UpDownControl>(dialog, kSpeedSpin);
    speed->SetPosition(999);
    speed->Click(true);
    speed->Click(true);
    EXPECT_EQ(Control<QLineEdit>(dialog, kSpeedEdit)->text(), "1000");

    Press(dialog, kOkButton);
    const sim::Image stored = env.emulator.GetImage();
    EXPECT_EQ(stored[sim::offset::kFilterCount], 7);
    EXPECT_EQ(sim::ReadU16(stored, sim::offset::kWheelSpeed), 1000);
    // The probe after the write sized the table from the controller's new count; the new
    // rows come from the image the controller returned.
    ASSERT_EQ(env.device->filters.size(), 7u);
    for (int row = 0; row < 7; ++row) {
        EXPECT_EQ(std::string(env.device->filters[row].name), sim::FilterName(before, row))
            << "row " << row;
    }
    EXPECT_GE(env.emulator.CommandCount("FWreadEE"), 2);
    EXPECT_EQ(env.emulator.CommandCount("FWwriteEE"), 1);
}

TEST(WheelSettingsDialogTest, OkReleasesOnlyItsOwnHoldAndSavesTheSettings) {
    EmulatedDevice env;
    ASSERT_TRUE(env.Connected());
    const int flushes = env.store.FlushCount();
    WheelSettingsDialog dialog(env.device.get());
    Press(dialog, kOkButton);

    EXPECT_EQ(env.LogLines(") = skip\r\n"), 1);
    EXPECT_EQ(env.LogLines("DisconnectMulti(0x"), 1);
    EXPECT_EQ(env.LogLines("= Disconnect"), 0);
    EXPECT_TRUE(env.Connected());
    EXPECT_EQ(env.device->Clients().size(), 1u);
    EXPECT_GT(env.store.FlushCount(), flushes);
}

TEST(WheelSettingsDialogTest, CancelStoresNothing) {
    EmulatedDevice env;
    ASSERT_TRUE(env.Connected());
    const ControllerConfig config = env.device->config;
    const sim::Image image = env.emulator.GetImage();
    const int flushes = env.store.FlushCount();

    WheelSettingsDialog dialog(env.device.get());
    Control<QCheckBox>(dialog, kMotorOff)->click();
    Control<UpDownControl>(dialog, kFilterCountSpin)->Click(false);
    Control<QComboBox>(dialog, kPowerOutputCombo)->setCurrentIndex(3);
    Press(dialog, kCancelButton);

    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(std::memcmp(&config, &env.device->config, sizeof config), 0);
    EXPECT_EQ(env.emulator.GetImage(), image);
    EXPECT_EQ(env.emulator.CommandCount("FWwriteEE"), 0);
    EXPECT_EQ(env.store.FlushCount(), flushes);
    EXPECT_EQ(env.LogLines("DisconnectMulti"), 0);
}

TEST(WheelSettingsDialogTest, AnEmptyStepCountIsRefusedAndKeepsTheDialogOpen) {
    EmulatedDevice env;
    ASSERT_TRUE(env.Connected());
    WheelSettingsDialog dialog(env.device.get());
    dialog.show();
    Control<QLineEdit>(dialog, kMaxStepsEdit)->clear();
    Press(dialog, kOkButton);

    ASSERT_EQ(env.messages.size(), 1u);
    EXPECT_EQ(env.messages[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(env.emulator.CommandCount("FWwriteEE"), 0);
    EXPECT_EQ(env.LogLines("DisconnectMulti"), 0);

    QTest::keyClicks(Control<QLineEdit>(dialog, kMaxStepsEdit), "700");
    Press(dialog, kOkButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(sim::ReadU16(env.emulator.GetImage(), sim::offset::kMaxStepsBetweenFilters), 700);
}

TEST(WheelSettingsDialogTest, ARefusedWriteIsToldToTheUser) {
    EmulatedDevice env;
    ASSERT_TRUE(env.Connected());
    env.emulator.AddFault({sim::FaultKind::kWriteEENak, "FWwriteEE"});
    WheelSettingsDialog dialog(env.device.get());
    Control<QCheckBox>(dialog, kHomeSensor)->click();
    Press(dialog, kOkButton);

    ASSERT_EQ(env.messages.size(), 1u);
    EXPECT_EQ(env.messages[0].text, QStringLiteral("Контроллер не принял настройки колеса."));
    // The controller kept its image, and the probe brought the device's copy back to it.
    EXPECT_EQ(env.device->config.filterSensorSeesHome,
              env.emulator.GetImage()[sim::offset::kFilterSensorSeesHome]);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(WheelSettingsDialogTest, WithThePortClosedNothingIsLoadedOrEnabled) {
    EmulatedDevice env;
    env.device->DisconnectMulti(&env.mainDialog);
    ASSERT_FALSE(env.Connected());
    WheelSettingsDialog dialog(env.device.get());
    EXPECT_EQ(Control<QLineEdit>(dialog, kFilterCountEdit)->text(), "0");
    for (int id : {kSpeedSpin, kHalfStep, kMotorOff, kPowerOutputCombo, kHomeSensor}) {
        EXPECT_FALSE(Control<QWidget>(dialog, id)->isEnabled()) << id;
    }
}

}  // namespace
}  // namespace kavri::ui
