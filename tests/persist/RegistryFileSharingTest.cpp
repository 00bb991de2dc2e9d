// Several programs on one settings store: none reverts what another stored.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "device/ManualTimerService.h"
#include "device/WheelFocuserDevice.h"
#include "persist/RegistryFileStore.h"
#include "persist/RegistrySettings.h"
#include "persist/SharedFileAccess.h"
#include "support/TempDir.h"

namespace kavri {
namespace {

const std::string kOtherKey = "Software\\Other";

// Runs `body` in a child process that starts once `Go` is called, so that nothing the parent
// opens after construction (a lock, above all) is inherited by it.
class Child {
public:
    explicit Child(const std::function<bool()>& body) {
        int go[2];
        int done[2];
        if (pipe(go) != 0 || pipe(done) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(go[1]);
            close(done[0]);
            char byte = 0;
            if (read(go[0], &byte, 1) != 1) _exit(2);
            byte = body() ? 'y' : 'n';
            _exit(write(done[1], &byte, 1) == 1 ? 0 : 2);
        }
        close(go[0]);
        close(done[1]);
        go_ = go[1];
        done_ = done[0];
    }
    ~Child() {
        close(go_);
        close(done_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    void Go() { ASSERT_EQ(write(go_, "g", 1), 1); }
    // True when the child has finished within `ms` milliseconds.
    bool FinishedWithin(int ms) {
        pollfd ready{done_, POLLIN, 0};
        return poll(&ready, 1, ms) == 1;
    }
    // Waits for the child; true when its body returned true.
    bool Succeeded() {
        char byte = 0;
        return read(done_, &byte, 1) == 1 && byte == 'y';
    }

private:
    pid_t pid_ = -1;
    int go_ = -1;
    int done_ = -1;
};

int32_t StoredInt(const std::string& path, const std::string& key, const std::string& name) {
    RegistryFileStore store(path);
    SettingsValue value;
    EXPECT_TRUE(store.QueryValue(key, name, value)) << name;
    return value.data.size() == 4 ? static_cast<int32_t>(value.data[0] | value.data[1] << 8 |
                                                         value.data[2] << 16 | value.data[3] << 24)
                                  : -1;
}

TEST(RegistryFileSharingTest, TwoStoresOnOneFileKeepEachOthersValues) {
    test::TempDir dir;
    const std::string path = dir.File("registry.reg");
    {
        RegistryFileStore first(path);
        first.SetValue(DriverKey, "ComPort", SettingsValue::Dword(1));
        first.SetValue(DriverKey, "AscomFocusShift", SettingsValue::Dword(0));
        ASSERT_TRUE(first.Flush());
    }
    RegistryFileStore ours(path);
    RegistryFileStore theirs(path);
    theirs.SetValue(DriverKey, "AscomFocusShift", SettingsValue::Dword(7));
    theirs.SetValue(kOtherKey, "Theirs", SettingsValue::Dword(8));
    ASSERT_TRUE(theirs.Flush());

    // Writing back what was read is no change; a value set and set back is none either.
    ours.SetValue(DriverKey, "ComPort", SettingsValue::Dword(4));
    ours.SetValue(DriverKey, "AscomFocusShift", SettingsValue::Dword(9));
    ours.SetValue(DriverKey, "AscomFocusShift", SettingsValue::Dword(0));
    ASSERT_TRUE(ours.Flush());
    EXPECT_EQ(StoredInt(path, DriverKey, "ComPort"), 4);
    EXPECT_EQ(StoredInt(path, DriverKey, "AscomFocusShift"), 7);
    EXPECT_EQ(StoredInt(path, kOtherKey, "Theirs"), 8);
    // After its save a store sees the other program's values too.
    SettingsValue value;
    ASSERT_TRUE(ours.QueryValue(DriverKey, "AscomFocusShift", value));
    EXPECT_EQ(value.data, SettingsValue::Dword(7).data);
}

TEST(RegistryFileSharingTest, AProgramSavingBetweenOurLoadAndSaveKeepsItsValues) {
    test::TempDir dir;
    const std::string path = dir.File("kavri/registry.reg");
    ManualTimerService timers;
    RegistryFileStore store(path);
    auto device = std::make_unique<WheelFocuserDevice>(store, timers);
    // Creating the key wrote the file at once, as a registry key exists once created.
    ASSERT_TRUE(std::filesystem::exists(path));

    Child other([&path] {
        RegistryFileStore theirs(path);
        theirs.SetValue(DriverKey, "AscomPreferredTermometer", SettingsValue::Dword(2));
        theirs.SetValue(kOtherKey, "Theirs", SettingsValue::Dword(8));
        return theirs.Flush();
    });
    other.Go();
    ASSERT_TRUE(other.Succeeded());

    device->settings.ComPort = 5;
    device.reset();  // saves all twelve values
    EXPECT_EQ(StoredInt(path, DriverKey, "ComPort"), 5);
    EXPECT_EQ(StoredInt(path, DriverKey, "AscomPreferredTermometer"), 2);
    EXPECT_EQ(StoredInt(path, DriverKey, "MinMotorStep"), 1);
    EXPECT_EQ(StoredInt(path, kOtherKey, "Theirs"), 8);
}

TEST(RegistryFileSharingTest, ReadsAndSavesWaitWhileTheStoreIsLocked) {
    test::TempDir dir;
    const std::string path = dir.File("registry.reg");
    RegistryFileStore store(path);
    store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(1));
    ASSERT_TRUE(store.Flush());

    // A reader waits for a writer, a writer for a reader; readers share.
    struct Case {
        const char* name;
        FileLock::Mode held;
        int32_t port;  // 0: the other program only reads
        bool waits;
    };
    for (const Case& c : {Case{"read while saving", FileLock::Mode::Exclusive, 0, true},
                          Case{"save while reading", FileLock::Mode::Shared, 2, true},
                          Case{"read while reading", FileLock::Mode::Shared, 0, false}}) {
        SCOPED_TRACE(c.name);
        Child other([&path, port = c.port] {
            RegistryFileStore theirs(path);
            if (port == 0) return true;
            theirs.SetValue(DriverKey, "ComPort", SettingsValue::Dword(port));
            return theirs.Flush();
        });
        auto lock = std::make_unique<FileLock>(store.LockPath(), c.held);
        ASSERT_TRUE(lock->Held()) << lock->Error();
        other.Go();
        // Waiting is seen as not finishing in 300 ms; not waiting gets ample time.
        EXPECT_EQ(other.FinishedWithin(c.waits ? 300 : 20000), !c.waits);
        lock.reset();
        EXPECT_TRUE(other.Succeeded());
    }
    EXPECT_EQ(StoredInt(path, DriverKey, "ComPort"), 2);
}

}  // namespace
}  // namespace kavri
