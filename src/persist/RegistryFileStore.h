// The settings store kept in one text file in registry export format, so that a user can read
// it, edit it, or import it into a real registry. Key paths given to the store are relative to
// HKEY_LOCAL_MACHINE; sections of other roots found in the file are kept and written back.
#pragma once

#include <string>

#include "persist/ConfigPaths.h"
#include "persist/RegistryFileFormat.h"
#include "device/SettingsStore.h"

namespace kavri {

class RegistryFileStore final : public SettingsStore {
public:
    // Reads the file when it exists. A missing, unreadable or damaged file never stops the
    // program: the store starts with whatever could be read, possibly nothing.
    explicit RegistryFileStore(std::string path = RegistryFilePath());

    // Reads the file again, replacing what the store holds; false when it exists but cannot
    // be read (the store is then left as it was). A missing file gives an empty store.
    bool Reload();

    bool CreateKey(const std::string& keyPath) override;
    bool SetValue(const std::string& keyPath, const std::string& name,
                  const SettingsValue& value) override;
    bool QueryValue(const std::string& keyPath, const std::string& name,
                    SettingsValue& value) const override;
    // Writes the whole store atomically (temporary file, sync, rename), creating the
    // directory when needed. On failure the previous file stays as it was.
    bool Flush() override;

    const std::string& Path() const { return path_; }
    // Lines of the file that Reload could not understand and skipped.
    size_t SkippedLines() const { return skippedLines_; }

private:
    std::string path_;
    RegistryFileContents contents_;
    size_t skippedLines_ = 0;
};

}  // namespace kavri
