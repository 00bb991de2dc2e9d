// Injected faults, from the API and from their command-line form.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "HostLine.h"
#include "sim/Emulator.h"

namespace kavri::sim::test {
namespace {

using Clock = std::chrono::steady_clock;

Fault Parsed(const std::string& spec) {
    std::string error;
    auto fault = ParseFault(spec, &error);
    EXPECT_TRUE(fault.has_value()) << spec << ": " << error;
    return fault.value_or(Fault{});
}

class SimFaults : public ::testing::Test {
protected:
    void SetUp() override {
        EmulatorOptions options;
        options.fast = true;
        emulator = std::make_unique<Emulator>(options);
        ASSERT_TRUE(emulator->Start());
        line = std::make_unique<HostLine>(emulator->SlavePath());
    }

    std::unique_ptr<Emulator> emulator;
    std::unique_ptr<HostLine> line;
};

TEST(SimFaultSpec, ParsesEveryKindWithDefaults) {
    Fault drop = Parsed("drop,cmd=FWfocus,times=2");
    EXPECT_EQ(drop.kind, FaultKind::kDrop);
    EXPECT_EQ(drop.keyword, "FWfocus");
    EXPECT_EQ(drop.times, 2);
    EXPECT_EQ(Parsed("short").times, 1);
    EXPECT_EQ(Parsed("silent").times, kUnlimited);
    Fault pause = Parsed("pause,ms=300,cmd=FWreadEE");
    EXPECT_EQ(pause.pauseMs, 300);
    EXPECT_EQ(pause.times, kUnlimited);
    EXPECT_EQ(Parsed("garbage,byte=0x7e,times=always").garbage, 0x7E);
    EXPECT_EQ(Parsed("goto-fail").keyword, "FWGOTO");
    EXPECT_EQ(Parsed("writeee-nak,times=3").keyword, "FWwriteEE");
    EXPECT_EQ(Parsed("hangup,cmd=FWreadEE").kind, FaultKind::kHangUp);
}

TEST(SimFaultSpec, RefusesMalformedText) {
    for (const char* bad :
         {"", "explode", "drop,cmd=FWnothing", "drop,times=0", "drop,times=x", "pause",
          "pause,ms=-1", "garbage,byte=256", "drop,ms=5", "goto-fail,cmd=FWfocus", "drop,cmd"}) {
        std::string error;
        EXPECT_FALSE(ParseFault(bad, &error).has_value()) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST_F(SimFaults, SilentSwallowsCommandsWithoutEffect) {
    emulator->AddFault(Parsed("silent,times=2"));
    EXPECT_TRUE(line->Ask(std::string("FWgoFocus\x10") + '\0', 1, 300ms).empty());
    EXPECT_TRUE(line->Ask("FWFILTER", 1, 300ms).empty());
    EXPECT_EQ(emulator->FocuserPosition(), 0);
    EXPECT_EQ(line->Ask("FWFILTER", 1), B("0"));  // the third command is answered again
}

TEST_F(SimFaults, DropLosesTheReplyButNotTheEffect) {
    emulator->AddFault(Parsed("drop,cmd=FWsetFocus"));
    EXPECT_TRUE(line->Ask(std::string("FWsetFocus\x05") + '\0', 1, 300ms).empty());
    EXPECT_EQ(emulator->FocuserPosition(), 5);
    EXPECT_EQ(line->Ask("FWfocus", 2), (Bytes{5, 0}));  // other keywords are untouched
    EXPECT_EQ(line->Ask(std::string("FWsetFocus\x06") + '\0', 1), B("!"));  // once only
}

TEST_F(SimFaults, ShortReplyLosesItsLastByte) {
    emulator->AddFault(Parsed("short,cmd=FWreadEE,times=2"));
    EXPECT_EQ(line->Ask(std::string("FWreadEE") + '\0' + '\x90', 144, 300ms).size(), 143u);
    EXPECT_EQ(line->Ask("FWfocus", 2).size(), 2u);
    EXPECT_EQ(line->Ask(std::string("FWreadEE") + '\0' + '\x90', 144, 300ms).size(), 143u);
    EXPECT_EQ(line->Ask(std::string("FWreadEE") + '\0' + '\x90', 144).size(), 144u);
}

TEST_F(SimFaults, GarbageByteComesFirst) {
    Fault fault = Parsed("garbage,byte=0x33");
    emulator->AddFault(fault);
    EXPECT_EQ(line->Ask("FWCOUNT", 2), (Bytes{0x33, '5'}));
    EXPECT_EQ(line->Ask("FWCOUNT", 2, 200ms), B("5"));
}

TEST_F(SimFaults, PauseBetweenReplyBytes) {
    emulator->AddFault(Parsed("pause,ms=150,cmd=FWfocus,times=1"));
    line->Send("FWfocus");
    Bytes first = line->Read(1);
    const auto start = Clock::now();
    Bytes second = line->Read(1);
    const auto gap = Clock::now() - start;
    EXPECT_EQ(first.size() + second.size(), 2u);
    EXPECT_GE(gap, 100ms);  // a reader with a 100 ms inter-byte time-out gives up here
    EXPECT_LT(gap, 2000ms);
}

TEST_F(SimFaults, GotoFailAnswersSlashAndLosesPosition) {
    emulator->AddFault(Parsed("goto-fail"));
    EXPECT_EQ(line->Ask("FWGOTO2", 1), B("/"));
    EXPECT_EQ(emulator->CurrentFilter(), -1);
    EXPECT_EQ(line->Ask("FWFILTER", 1), B("/"));
    EXPECT_EQ(line->Ask("FWGOTO2", 2), B("12"));  // homes, then passes slot 1
}

TEST_F(SimFaults, WriteEENakStoresNothing) {
    emulator->AddFault(Parsed("writeee-nak"));
    Bytes frame = B("FWwriteEE");
    frame.insert(frame.end(), {1, 1, 7});
    line->Send(frame);
    Bytes reply = line->Read(1);
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_NE(reply[0], '!');
    EXPECT_EQ(emulator->GetImage()[1], 5);
    line->Send(frame);
    EXPECT_EQ(line->Read(1), B("!"));
    EXPECT_EQ(emulator->GetImage()[1], 7);
}

TEST_F(SimFaults, HangUpHalfwayThroughTheReply) {
    emulator->AddFault(Parsed("hangup,cmd=FWreadEE"));
    EXPECT_EQ(line->Ask("FWCOUNT", 1), B("5"));
    line->Send(std::string("FWreadEE") + '\0' + '\x90');
    EXPECT_EQ(line->Read(144, 500ms).size(), 72u);
    EXPECT_TRUE(line->HungUp());
    EXPECT_TRUE(emulator->HungUp());
}

TEST(SimFaultOptions, FaultsFromOptionsApplyFromTheStart) {
    EmulatorOptions options;
    options.fast = true;
    options.faults.push_back(Parsed("drop,cmd=FWFILTER"));
    Emulator emulator(options);
    ASSERT_TRUE(emulator.Start());
    HostLine line(emulator.SlavePath());
    EXPECT_TRUE(line.Ask("FWFILTER", 1, 300ms).empty());
    EXPECT_EQ(line.Ask("FWFILTER", 1), B("0"));
    emulator.AddFault(Parsed("silent"));
    emulator.ClearFaults();
    EXPECT_EQ(line.Ask("FWFILTER", 1), B("0"));
}

}  // namespace
}  // namespace kavri::sim::test
