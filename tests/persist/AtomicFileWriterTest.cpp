#include "persist/AtomicFileWriter.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "support/TempDir.h"

namespace kavri {
namespace {

namespace fs = std::filesystem;

bool Save(const std::string& path, const std::string& text, std::string* error = nullptr) {
    return WriteFileAtomically(path, text.data(), text.size(), error);
}

TEST(AtomicFileWriterTest, LinksLeadToTheirTargetsAndProtectedTargetsAreRefused) {
    struct Case {
        const char* name;
        std::function<void(const test::TempDir&)> prepare;
        const char* writeTo;         // the path given to the writer
        const char* writtenFile;     // where the new content must land; null: refused
        const char* reasonContains;  // for a refusal
    };
    const Case cases[] = {
        {"new file", [](const test::TempDir&) {}, "new.txt", "new.txt", nullptr},
        {"link to a file",
         [](const test::TempDir& d) {
             test::WriteFileText(d.File("target.txt"), "old");
             fs::create_symlink("target.txt", d.File("link"));
         },
         "link", "target.txt", nullptr},
        {"chain of links, one absolute",
         [](const test::TempDir& d) {
             fs::create_directory(d.File("sub"));
             test::WriteFileText(d.File("sub/target.txt"), "old");
             fs::create_symlink(d.File("sub/target.txt"), d.File("sub/inner"));
             fs::create_symlink("sub/inner", d.File("outer"));
         },
         "outer", "sub/target.txt", nullptr},
        {"dangling link creates its target",
         [](const test::TempDir& d) { fs::create_symlink("made.txt", d.File("dangling")); },
         "dangling", "made.txt", nullptr},
        {"looping links",
         [](const test::TempDir& d) {
             fs::create_symlink("b", d.File("a"));
             fs::create_symlink("a", d.File("b"));
         },
         "a", nullptr, "symbolic links"},
        {"read-only file",
         [](const test::TempDir& d) {
             test::WriteFileText(d.File("ro.txt"), "old");
             chmod(d.File("ro.txt").c_str(), 0444);
         },
         "ro.txt", nullptr, "read-only"},
        {"link to a read-only file",
         [](const test::TempDir& d) {
             test::WriteFileText(d.File("ro.txt"), "old");
             chmod(d.File("ro.txt").c_str(), 0455);
             fs::create_symlink("ro.txt", d.File("link"));
         },
         "link", nullptr, "read-only"},
        {"directory", [](const test::TempDir& d) { fs::create_directory(d.File("dir")); }, "dir",
         nullptr, "not a regular file"},
        {"FIFO", [](const test::TempDir& d) { mkfifo(d.File("fifo").c_str(), 0666); }, "fifo",
         nullptr, "not a regular file"},
        {"below a regular file",
         [](const test::TempDir& d) { test::WriteFileText(d.File("plain"), "x"); },
         "plain/below.txt", nullptr, "Not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        c.prepare(dir);
        const auto before = fs::symlink_status(dir.File(c.writeTo)).type();
        std::string error;
        const bool saved = Save(dir.File(c.writeTo), "new", &error);
        EXPECT_EQ(saved, c.writtenFile != nullptr) << error;
        if (c.writtenFile != nullptr) {
            EXPECT_EQ(test::ReadFileText(dir.File(c.writtenFile)), "new");
            if (before == fs::file_type::symlink) {
                EXPECT_TRUE(fs::is_symlink(dir.File(c.writeTo)));
            }
        } else {
            EXPECT_NE(error.find(c.reasonContains), std::string::npos) << error;
            EXPECT_EQ(fs::symlink_status(dir.File(c.writeTo)).type(), before);
            if (fs::is_regular_file(dir.File("ro.txt"))) {
                EXPECT_EQ(test::ReadFileText(dir.File("ro.txt")), "old");
            }
        }
        for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
            EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
    }
}

TEST(AtomicFileWriterTest, ReadOnlyFileSystemIsRefusedWithItsReason) {
    // A read-only mount in a private mount namespace of a child process; skipped where the
    // machine does not allow one.
    test::TempDir dir;
    const std::string mountPoint = dir.File("ro");
    fs::create_directory(mountPoint);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        char verdict = 's';  // skipped
        if (unshare(CLONE_NEWNS) == 0 &&
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
            mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") == 0) {
            test::WriteFileText(mountPoint + "/file.txt", "old");
            if (mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0) {
                std::string errorNew, errorOld;
                const bool refused = !Save(mountPoint + "/new.txt", "x", &errorNew) &&
                                     !Save(mountPoint + "/file.txt", "x", &errorOld) &&
                                     test::ReadFileText(mountPoint + "/file.txt") == "old";
                const bool named = errorNew.find("Read-only file system") != std::string::npos &&
                                   errorOld.find("Read-only file system") != std::string::npos;
                verdict = refused && named ? 'y' : 'n';
            }
        }
        (void)!write(pipeFds[1], &verdict, 1);
        _exit(0);
    }
    close(pipeFds[1]);
    char verdict = 'n';
    ASSERT_EQ(read(pipeFds[0], &verdict, 1), 1);
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    if (verdict == 's') GTEST_SKIP() << "no private read-only mount possible here";
    EXPECT_EQ(verdict, 'y');
}

}  // namespace
}  // namespace kavri
