// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers in the edit fields of the settings dialogs: how a value is shown, and how the text
// is read back on OK with the check that refuses text that is not such a number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ui/dialogs/DialogControls.h"

namespace kavri {
struct ConfigRefusal;
}

namespace kavri::ui {

// Decimal text, surrounding blanks allowed, optional '+'; the whole text must be the number
// and fit 32 bits.
std::optional<uint32_t> ParseUnsignedField(std::string_view text);
// As above with an optional '-'.
std::optional<int32_t> ParseSignedField(std::string_view text);
// A finite decimal number with '.' as the point, in any locale.
std::optional<double> ParseDoubleField(std::string_view text);

// A double with up to 15 significant digits, so a stored value survives being shown and read.
std::string FormatDoubleField(double value);

// Reads the edits of a dialog in order. The first edit whose text does not parse gets a
// message (with the dialog's `caption`), the keyboard focus and its text selected; every later
// read is skipped, and the values already read must not be used.
class FieldReader {
public:
    FieldReader(DialogControls& controls, std::string caption)
        : controls_(controls), caption_(std::move(caption)) {}

    bool Unsigned(int id, uint32_t& value);
    bool Signed(int id, int32_t& value);
    bool Double(int id, double& value);

    bool Ok() const { return ok_; }

private:
    void Refuse(int id, std::string_view message);

    DialogControls& controls_;
    std::string caption_;
    bool ok_ = true;
};

// Refuses a value the controller cannot hold as a field that does not read is refused: the
// message (with the dialog's `caption`) gives the field's range, and the edit with `id` gets
// the focus and its text selected.
void RefuseOutOfRange(DialogControls& controls, std::string_view caption, int id,
                      const ConfigRefusal& refusal);

}  // namespace kavri::ui
