// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the ".fws" reader: any input must parse without a fault, and a file that
// parses must come back record for record after being written and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "persist/SettingsFileFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kavri::SettingsFileContents contents;
    if (!kavri::ParseSettingsFile(std::vector<uint8_t>(data, data + size), contents)) {
        if (size >= 2 * kavri::kSettingsFileNamesOffset) std::abort();  // long enough to parse
        return 0;
    }
    kavri::SettingsFileContents again;
    if (!kavri::ParseSettingsFile(kavri::FormatSettingsFile(contents), again)) std::abort();
    if (std::memcmp(contents.config.data(), again.config.data(), kavri::kConfigSize) != 0)
        std::abort();
    uint8_t first[kavri::kSettingsBlockFileSize];
    uint8_t second[kavri::kSettingsBlockFileSize];
    kavri::EncodeSettingsBlock(contents.settings, first);
    kavri::EncodeSettingsBlock(again.settings, second);
    if (std::memcmp(first, second, sizeof first) != 0) std::abort();
    if (contents.ChangeFilterTimeoutMs != again.ChangeFilterTimeoutMs) std::abort();
    for (int i = 0; i < 4; ++i)
        if (contents.TermometerName[i] != again.TermometerName[i]) std::abort();
    return 0;
}
