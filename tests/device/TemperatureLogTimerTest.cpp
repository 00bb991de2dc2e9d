#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ConnectionTestSupport.h"
#include "device/TemperatureLog.h"

namespace kavri::test {
namespace {

namespace fs = std::filesystem;

Bytes TemperatureRequest(int index) {
    Bytes request{'F', 'W', 't', 'e', 'm', 'p', 'e', 'r', 'a', 't', 'u', 'r', 'e'};
    request.push_back(static_cast<uint8_t>('0' + index));
    return request;
}

class TemperatureLogTimerTest : public DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        logDir_ = fs::path(dir_.Path()) / "data" / "kavri";
        SetActiveTemperatureLog(TemperatureLog(logDir_, [this] { return now_; }));
    }
    void TearDown() override {
        DeviceFixture::TearDown();
        SetActiveTemperatureLog(std::nullopt);
    }

    // Connects to `peer` on COM1 after scripting its probe answers.
    void ConnectTo(ScriptedPeer& peer, const ControllerConfig& image, bool wheel = true) {
        Link(1, peer.SlavePath());
        if (wheel) {
            ScriptFullProbe(peer, image);
        } else {
            peer.Expect("FWFILTER");
            peer.Expect("FWfocus").Reply(Bytes{0, 0});
            peer.Expect(ReadEeRequest()).Reply(ImageBytes(image));
            peer.Expect("FWzm").Reply(MicrostepReply());
        }
        ASSERT_TRUE(device_->Connect());
        ASSERT_TRUE(peer.WaitIdle(5000));
    }

    fs::path TodaysFile() const { return logDir_ / "term_log_2009-06-17.csv"; }

    fs::path logDir_;
    LocalDateTime now_{2009, 6, 17, 21, 5, 0};
};

TEST_F(TemperatureLogTimerTest, EveryFiveSecondsOneRowFromTheController) {
    ScriptedPeer peer;
    ConnectTo(peer, SampleImage(2));

    peer.Expect(TemperatureRequest(0)).Reply(Bytes{0xBB, 0xFE});  // -325: -3.25 degrees
    peer.Expect(TemperatureRequest(1)).Reply(Bytes{0x00, 0x80});  // no reading
    peer.Expect("FWfocus").Reply(Bytes{0x08, 0x2F});              // 12040
    peer.Expect("FWFILTER").Reply("1");
    timers_.Advance(4999);
    EXPECT_FALSE(fs::exists(TodaysFile()));
    timers_.Advance(1);
    ASSERT_TRUE(peer.WaitIdle(5000));
    EXPECT_EQ(ReadFile(TodaysFile()), "Time,T0,T1,Focus,Filter\r\n21:05:00,-3.25,,12040,Red\r\n");
    EXPECT_FLOAT_EQ(device_->temperatures[0], -3.25f);
    EXPECT_EQ(device_->focuserPosition, 12040);

    // The filter field: an 8-character name whole, then indices -1 and 10 leave it empty.
    for (const char* reply : {"4", "/", ":"}) {
        peer.Expect(TemperatureRequest(0)).Reply(Bytes{0x29, 0x09});  // 23.45
        peer.Expect(TemperatureRequest(1)).Reply(Bytes{0x00, 0x00});
        peer.Expect("FWfocus").Reply(Bytes{0x08, 0x2F});
        peer.Expect("FWFILTER").Reply(reply);
        now_.second += 5;
        timers_.Advance(5000);
        ASSERT_TRUE(peer.WaitIdle(5000)) << reply;
    }
    EXPECT_EQ(ReadFile(TodaysFile()),
              "Time,T0,T1,Focus,Filter\r\n"
              "21:05:00,-3.25,,12040,Red\r\n"
              "21:05:05,23.45,0.00,12040,Halpha7n\r\n"
              "21:05:10,23.45,0.00,12040,\r\n"
              "21:05:15,23.45,0.00,12040,\r\n");
}

TEST_F(TemperatureLogTimerTest, FocuserOnlyControllerWithoutThermometers) {
    ScriptedPeer peer;
    ConnectTo(peer, SampleImage(0), /*wheel=*/false);
    peer.Expect("FWfocus").Reply(Bytes{0x00, 0x00});
    peer.ExpectQuiet(100);  // no "FWFILTER" without a wheel
    now_ = {2009, 6, 17, 8, 0, 5};
    timers_.Advance(5000);
    ASSERT_TRUE(peer.WaitIdle(5000));
    EXPECT_EQ(ReadFile(TodaysFile()), "Time,Focus,Filter\r\n08:00:05,0,\r\n");
}

TEST_F(TemperatureLogTimerTest, NothingWithoutAConnectedIdleFocuser) {
    // No port at all.
    timers_.Advance(5000);

    // A controller with only a wheel.
    ScriptedPeer wheelOnly;
    Link(1, wheelOnly.SlavePath());
    wheelOnly.Expect("FWFILTER").Reply("2");
    wheelOnly.Expect("FWfocus");
    wheelOnly.Expect(ReadEeRequest()).Reply(ImageBytes(SampleImage()));
    wheelOnly.Expect("FWCOUNT").Reply("5");
    ASSERT_TRUE(device_->Connect());
    ASSERT_TRUE(wheelOnly.WaitIdle(5000));
    wheelOnly.ExpectQuiet(100);
    timers_.Advance(5000);
    EXPECT_TRUE(wheelOnly.WaitIdle(5000));
    device_->Disconnect();

    // A focuser in the middle of another exchange.
    ScriptedPeer focuser;
    ConnectTo(focuser, SampleImage(2));
    device_->busy = true;
    focuser.ExpectQuiet(100);
    timers_.Advance(5000);
    EXPECT_TRUE(focuser.WaitIdle(5000));
    device_->busy = false;

    // And after the device is gone, a stray tick finds no device.
    device_.reset();
    LogTemperatures();

    EXPECT_FALSE(fs::exists(logDir_));
}

TEST_F(TemperatureLogTimerTest, CorruptThermometerCountIsBounded) {
    ScriptedPeer peer;
    ConnectTo(peer, SampleImage(200));
    for (int i = 0; i < kMaxThermometers; ++i) {
        peer.Expect(TemperatureRequest(i)).Reply(Bytes{static_cast<uint8_t>(i), 0x00});
    }
    peer.Expect("FWfocus").Reply(Bytes{0x01, 0x00});
    peer.Expect("FWFILTER").Reply("2");
    peer.ExpectQuiet(100);
    timers_.Advance(5000);
    ASSERT_TRUE(peer.WaitIdle(5000));
    EXPECT_EQ(ReadFile(TodaysFile()),
              "Time,T0,T1,T2,T3,T4,T5,T6,T7,Focus,Filter\r\n"
              "21:05:00,0.00,0.01,0.02,0.03,0.04,0.05,0.06,0.07,1,Green\r\n");
}

TEST_F(TemperatureLogTimerTest, DefaultLogLivesInTheDataDirectory) {
    SetActiveTemperatureLog(std::nullopt);
    const fs::path dataHome = fs::path(dir_.Path()) / "xdg-data";
    ASSERT_EQ(setenv("XDG_DATA_HOME", dataHome.c_str(), 1), 0);
    EXPECT_EQ(ActiveTemperatureLog().Directory(), dataHome / "kavri");

    ScriptedPeer peer;
    ConnectTo(peer, SampleImage(0));
    peer.Expect("FWfocus").Reply(Bytes{0x00, 0x00});
    peer.Expect("FWFILTER").Reply("0");
    timers_.Advance(5000);
    ASSERT_TRUE(peer.WaitIdle(5000));
    ASSERT_TRUE(fs::is_directory(dataHome / "kavri"));  // created when missing
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dataHome / "kavri")) {
        EXPECT_EQ(entry.path().filename().string().rfind("term_log_", 0), 0u);
        ++files;
    }
    EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace kavri::test
