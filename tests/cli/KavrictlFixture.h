// SPDX-License-Identifier: GPL-3.0-or-later
// A test of kavrictl end to end: its own configuration and data directories, the controller
// emulated in-process on a pseudo-terminal, and the real executable run against it as a child
// process whose standard output, standard error and exit status are collected.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/Emulator.h"
#include "support/TempDir.h"

namespace kavri::test {

struct CliResult {
    int status = -1;  // exit status (128 + the signal that killed it)
    std::string out;
    std::string err;
    std::string FirstErrorLine() const { return err.substr(0, err.find('\n')); }
};

struct CliOptions {
    std::string interruptAfter;  // SIGINT once standard output contains this text
    std::string stdoutTo;        // standard output: collected (empty), "closed", or this file
};

CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options);

// kavrictl inherits the test's environment: its own configuration, data and home folders.
class KavrictlTest : public ::testing::Test {
protected:
    KavrictlTest() {
        setenv("XDG_CONFIG_HOME", ConfigDir().c_str(), 1);
        setenv("XDG_DATA_HOME", DataDir().c_str(), 1);
        setenv("HOME", dir_.Path().c_str(), 1);
    }
    void StartEmulator(sim::EmulatorOptions options = {}) {
        options.fast = true;
        options.log = [](const std::string&) {};
        emulator_ = std::make_unique<sim::Emulator>(options);
        std::string error;
        ASSERT_TRUE(emulator_->Start(&error)) << error;
    }

    sim::Emulator& Emulator() { return *emulator_; }
    std::string ConfigDir() const { return dir_.File("config"); }
    std::string DataDir() const { return dir_.File("data"); }
    std::string File(const std::string& name) const { return dir_.File(name); }

    // kavrictl with the emulator's device as its port.
    CliResult Run(std::vector<std::string> args, const CliOptions& options = {}) {
        args.insert(args.begin(), {"--port", emulator_->SlavePath()});
        return RunCli(args, options);
    }
    // kavrictl exactly as given.
    CliResult RunBare(const std::vector<std::string>& args) { return RunCli(args, {}); }

    // --json output, parsed; a parse failure fails the test.
    static nlohmann::json Json(const CliResult& result) {
        const auto value = nlohmann::json::parse(result.out, nullptr, false);
        EXPECT_FALSE(value.is_discarded()) << "not JSON: " << result.out;
        return value;
    }

private:
    TempDir dir_;
    std::unique_ptr<sim::Emulator> emulator_;
};

}  // namespace kavri::test
