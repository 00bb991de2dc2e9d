// SPDX-License-Identifier: GPL-3.0-or-later
// One value line of a registry export file: how a value's data is written after "name=" and
// read back, and the small text helpers the file reader shares with it.
#pragma once

#include <string>
#include <string_view>

#include "persist/RegistryFileFormat.h"

namespace kavri {

bool IsRegistryBlank(char c);  // blank, tab, or the CR of a CR LF line end
std::string_view TrimRegistryLeft(std::string_view text);
std::string_view TrimRegistry(std::string_view text);
// ASCII case folding, as the registry compares names.
std::string FoldRegistryName(std::string_view name);

// Reads a quoted name or text starting at the opening quote at `pos`, which ends after the
// closing quote; only \\ and \" are escapes. False when the closing quote is missing.
bool ParseRegistryQuoted(std::string_view line, size_t& pos, std::string& out);

// Parses the part after "name=" into the value; false when it is not understood.
bool ParseRegistryValueData(std::string_view text, RegistryFileValue& value);

// Appends the whole line of a value, ending in `lineEnd`, as the export tool writes it.
void AppendRegistryValueLine(std::string& out, const RegistryFileValue& value,
                             std::string_view lineEnd);

}  // namespace kavri
