// The wheel settings dialog against the emulated controller: what it shows from the image,
// what OK writes, probes and saves, and that Cancel, a refused field or a refused write leave
// the controller's settings as they were.
#include <QCheckBox>
#include <cstring>

#include "sim/ImageLayout.h"
#include "ui/common/UpDownControl.h"
#include "ui/main/MainDialogRig.h"
#include "ui/settings/SettingsTemplates.h"
#include "ui/settings/WheelSettingsDialog.h"

namespace kavri::ui::test {
namespace {

using namespace wheel_ids;
namespace at = sim::offset;
using WheelSettingsDialogTest = MainDialogRig;

TEST_F(WheelSettingsDialogTest, ShowsTheImageAndOkStoresEveryField) {
    Start();
    sim::Image image = sim::DefaultImage();
    image[at::kWheelStepMode] = 0;  // neither half (1) nor full (2) step: shown as half
    image[at::kWheelMotorOffWhenIdle] = 1;
    image[at::kFilterSensorSeesHome] = 0;
    image[at::kPowerOutputMode] = 4;  // no choice
    sim::WriteU16(image, at::kWheelSpeed, 250);
    sim::WriteU16(image, at::kMaxStepsBetweenFilters, 1234);
    emulator_->SetImage(image);
    Connect();
    const int flushes = store_.FlushCount();

    WheelSettingsDialog dialog(device_.get());
    EXPECT_TRUE(Find<QCheckBox>(dialog, kHalfStep)->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(dialog, kMotorOff)->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(dialog, kHomeSensor)->isChecked());
    EXPECT_EQ(Find<QComboBox>(dialog, kPowerOutputCombo)->currentIndex(), -1);
    EXPECT_EQ(Find<QLineEdit>(dialog, kSpeedEdit)->text(), "250");
    EXPECT_EQ(Find<QLineEdit>(dialog, kFilterCountEdit)->text(), "5");
    EXPECT_EQ(Find<QLineEdit>(dialog, kMaxStepsEdit)->text(), "1234");

    Find<QCheckBox>(dialog, kMotorOff)->click();
    Find<QCheckBox>(dialog, kHomeSensor)->click();
    Find<QComboBox>(dialog, kPowerOutputCombo)->setCurrentIndex(2);
    for (int i = 0; i < 6; ++i) Find<UpDownControl>(dialog, kFilterCountSpin)->Click(true);
    auto* speed = Find<UpDownControl>(dialog, kSpeedSpin);
    speed->SetPosition(999);
    speed->Click(true);
    speed->Click(true);
    Find<QLineEdit>(dialog, kMaxStepsEdit)->setText("700");
    Press(dialog, kOkButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(messages_.empty());
    const sim::Image stored = emulator_->GetImage();
    EXPECT_EQ(stored[at::kWheelStepMode], 1);
    EXPECT_EQ(stored[at::kWheelMotorOffWhenIdle], 0);
    EXPECT_EQ(stored[at::kFilterSensorSeesHome], 1);
    EXPECT_EQ(stored[at::kPowerOutputMode], 2);
    EXPECT_EQ(stored[at::kFilterCount], 10);  // the arrows stop at 10 filters, 1000 steps/s
    EXPECT_EQ(sim::ReadU16(stored, at::kWheelSpeed), 1000);
    EXPECT_EQ(sim::ReadU16(stored, at::kMaxStepsBetweenFilters), 700);
    // The probe after the write sized the table from the controller's new count.
    ASSERT_EQ(device_->filters.size(), 10u);
    EXPECT_EQ(std::string(device_->filters[6].name), sim::FilterName(stored, 6));
    // OK releases only the dialog's own hold: the main dialog keeps the port.
    EXPECT_EQ(LogCount(") = skip\r\n"), 1);
    EXPECT_NE(device_->port, nullptr);
    EXPECT_GT(store_.FlushCount(), flushes);
}

TEST_F(WheelSettingsDialogTest, CancelStoresNothing) {
    Start();
    Connect();
    const ControllerConfig config = device_->config;
    const sim::Image image = emulator_->GetImage();
    const int flushes = store_.FlushCount();
    WheelSettingsDialog dialog(device_.get());
    Find<QCheckBox>(dialog, kMotorOff)->click();
    Find<UpDownControl>(dialog, kFilterCountSpin)->Click(false);
    Press(dialog, kCancelButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(std::memcmp(&config, &device_->config, sizeof config), 0);
    EXPECT_EQ(emulator_->GetImage(), image);
    EXPECT_EQ(store_.FlushCount(), flushes);
    EXPECT_EQ(LogCount("DisconnectMulti"), 0);
}

TEST_F(WheelSettingsDialogTest, RefusedFieldsAndRefusedWritesAreToldToTheUser) {
    Start();
    Connect();
    WheelSettingsDialog dialog(device_.get());
    dialog.show();
    Find<QLineEdit>(dialog, kMaxStepsEdit)->clear();
    Press(dialog, kOkButton);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Sent("FWwriteEE"), 0);
    EXPECT_EQ(LogCount("DisconnectMulti"), 0);

    emulator_->AddFault({sim::FaultKind::kWriteEENak, "FWwriteEE"});
    QTest::keyClicks(Find<QLineEdit>(dialog, kMaxStepsEdit), "700");
    Find<QCheckBox>(dialog, kHomeSensor)->click();
    Press(dialog, kOkButton);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1].text, QStringLiteral("Контроллер не принял настройки колеса."));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    // The controller kept its image, and the probe brought the device's copy back to it.
    EXPECT_EQ(device_->config.filterSensorSeesHome,
              emulator_->GetImage()[at::kFilterSensorSeesHome]);
}

TEST_F(WheelSettingsDialogTest, WithThePortClosedNothingIsLoadedOrEnabled) {
    Start();
    WheelSettingsDialog dialog(device_.get());
    EXPECT_EQ(Find<QLineEdit>(dialog, kFilterCountEdit)->text(), "0");
    for (int id : {kSpeedSpin, kHalfStep, kMotorOff, kPowerOutputCombo, kHomeSensor})
        EXPECT_FALSE(Find(dialog, id)->isEnabled()) << id;
}

}  // namespace
}  // namespace kavri::ui::test
