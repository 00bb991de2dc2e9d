// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtomicFileWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

namespace kavri {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(AtomicFileWriterTest, LinksLeadToTheirTargetsAndProtectedTargetsAreRefused) {
    const auto old = [](const char* name, mode_t mode, const char* link = nullptr) {
        return [=](const TempDir& d) {
            test::WriteFileText(d.File(name), "old");
            chmod(d.File(name).c_str(), mode);
            if (link) fs::create_symlink(name, d.File(link));
        };
    };
    const struct {
        const char* name;
        std::function<void(const TempDir&)> prepare;
        const char* writeTo;  // the path given to the writer
        const char* target;   // where the new content lands, or the old one stays
        const char* refusal;  // part of the reason; null: written
    } cases[] = {
        {"file, keeping its permissions", old("kept.txt", 0640), "kept.txt", "kept.txt", nullptr},
        // As many links as the kernel itself follows, the first one absolute.
        {"chain of 40 links",
         [](const TempDir& d) {
             fs::create_directory(d.File("sub"));
             test::WriteFileText(d.File("sub/target.txt"), "old");
             fs::create_symlink(d.File("sub/target.txt"), d.File("sub/l1"));
             for (int i = 2; i < 40; ++i)
                 fs::create_symlink("l" + std::to_string(i - 1),
                                    d.File("sub/l" + std::to_string(i)));
             fs::create_symlink("sub/l39", d.File("outer"));
         },
         "outer", "sub/target.txt", nullptr},
        {"dangling link creates its target",
         [](const TempDir& d) { fs::create_symlink("made.txt", d.File("dangling")); }, "dangling",
         "made.txt", nullptr},
        {"looping links",
         [](const TempDir& d) {
             fs::create_symlink("b", d.File("a"));
             fs::create_symlink("a", d.File("b"));
         },
         "a", nullptr, "symbolic links"},
        {"read-only file", old("ro.txt", 0444), "ro.txt", "ro.txt", "read-only"},
        {"link to a read-only file", old("ro.txt", 0455, "link"), "link", "ro.txt", "read-only"},
        {"directory", [](const TempDir& d) { fs::create_directory(d.File("dir")); }, "dir", nullptr,
         "not a regular file"},
        {"below a regular file", old("plain", 0644), "plain/below.txt", "plain", "Not a directory"},
        {"full disk", old("full.txt", 0644), "full.txt", "full.txt", "File too large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        c.prepare(dir);
        const std::string path = dir.File(c.writeTo);
        const auto type = fs::symlink_status(path).type();
        const std::string target = c.target ? dir.File(c.target) : "";
        const bool existed = fs::exists(target);
        const auto perms = fs::status(target).permissions();
        std::string error;
        {
            std::optional<test::FileSizeLimit> limit;
            if (c.refusal && std::string(c.refusal) == "File too large") limit.emplace(2);
            EXPECT_EQ(WriteFileAtomically(path, "new", 3, &error), c.refusal == nullptr) << error;
        }
        EXPECT_NE(error.find(c.refusal ? c.refusal : ""), std::string::npos) << error;
        EXPECT_EQ(test::ReadFileText(target), !c.target ? "" : c.refusal ? "old" : "new");
        if (existed) {
            EXPECT_EQ(fs::status(target).permissions(), perms);
        }
        // A link stays a link, whatever happened to its target.
        EXPECT_EQ(fs::symlink_status(path).type(),
                  !c.refusal && type == fs::file_type::not_found ? fs::file_type::regular : type);
        for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
            EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
    }
}

}  // namespace
}  // namespace kavri
