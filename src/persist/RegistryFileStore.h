// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store kept in one text file in registry export format, so that a user can read
// it, edit it, or import it into a real registry. Key paths given to the store are relative to
// HKEY_LOCAL_MACHINE; sections of other roots found in the file are kept and written back.
//
// Several programs share the file (the desktop program, kavrictl, the INDI driver), possibly
// at the same time. A save therefore takes the store's lock, reads the file again, applies
// only the values this store changed since it read them, and replaces the file atomically:
// values and keys another program stored meanwhile stay as that program left them. Lines of
// the file the reader does not understand, and comments, stay where they are. A file that
// cannot be read (an I/O error, a directory or a FIFO in its place) is never written over.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/SettingsStore.h"
#include "persist/ConfigPaths.h"
#include "persist/RegistryFileFormat.h"

namespace kavri {

class RegistryFileStore final : public SettingsStore {
public:
    // Reads the file when it exists. A missing, unreadable or damaged file never stops the
    // program: the store starts with whatever could be read, possibly nothing, and says why
    // in its notices.
    explicit RegistryFileStore(std::string path = RegistryFilePath());

    // Reads the file again, replacing what the store holds and forgetting changes not yet
    // saved; false when it exists but cannot be read (the store is then left as it was). A
    // missing file gives an empty store.
    bool Reload();

    // A key that did not exist is written to the file at once, as a registry key exists as
    // soon as it is created; false when that write failed.
    bool CreateKey(const std::string& keyPath) override;
    bool SetValue(const std::string& keyPath, const std::string& name,
                  const SettingsValue& value) override;
    bool QueryValue(const std::string& keyPath, const std::string& name,
                    SettingsValue& value) const override;
    void AssumeMissingValue(const std::string& keyPath, const std::string& name,
                            const SettingsValue& value) override;
    // Merges this store's changes into the file as it is now (see above), creating the
    // directory when needed. True at once when nothing changed. On failure the file stays
    // as it was and the changes are kept for the next attempt.
    bool Flush() override;
    std::vector<std::string> TakeNotices() override;
    std::string Location() const override { return path_; }

    const std::string& Path() const { return path_; }
    // The file whose lock guards the store: "<store file>.lock" beside the file a symbolic
    // link at Path() leads to, so that every path to the store shares one lock.
    std::string LockPath() const;
    // Lines of the file the last read could not understand (they are kept in the file).
    size_t SkippedLines() const { return contents_.SkippedLines().size(); }

private:
    // A value as this store set it, with its content when the store read the file (or the
    // content assumed for it when it was missing).
    struct Change {
        std::string keyPath;
        std::optional<RegistryFileValue> original;
        RegistryFileValue value;
        bool onlyIfMissing = false;  // the assumed content: saved only where still missing
        uint64_t order = 0;          // when first set, so a save adds values in that order
    };

    std::string path_;
    RegistryFileContents contents_;
    // By case-folded key path and name.
    std::map<std::string, Change> changes_;
    std::map<std::string, RegistryFileValue> assumed_;
    std::map<std::string, std::pair<std::string, uint64_t>> createdKeys_;  // -> path, order
    uint64_t sequence_ = 0;
    std::vector<std::string> notices_;
};

}  // namespace kavri
