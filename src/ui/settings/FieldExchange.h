// Numbers in the edit fields of the settings dialogs: how a value is shown, and how the text
// is read back on OK with the check that refuses text that is not such a number.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

class QDialog;
class QLineEdit;

namespace kavri {
struct ConfigRefusal;
}

namespace kavri::ui {

// Decimal text, surrounding blanks allowed, optional '+'; the whole text must be the number
// and fit 32 bits.
std::optional<uint32_t> ParseUnsignedField(const QString& text);
// As above with an optional '-'.
std::optional<int32_t> ParseSignedField(const QString& text);
// A finite decimal number with '.' as the point, in any locale.
std::optional<double> ParseDoubleField(const QString& text);

// A double with up to 15 significant digits, so a stored value survives being shown and read.
QString FormatDoubleField(double value);

// Reads the edits of a dialog in order. The first edit whose text does not parse gets a
// message, the keyboard focus and its text selected; every later read is skipped, and the
// values already read must not be used.
class FieldReader {
public:
    explicit FieldReader(QDialog& dialog) : dialog_(dialog) {}

    bool Unsigned(int id, uint32_t& value);
    bool Signed(int id, int32_t& value);
    bool Double(int id, double& value);

    bool Ok() const { return ok_; }

private:
    QLineEdit* Edit(int id);
    void Refuse(QLineEdit* edit, const QString& message);

    QDialog& dialog_;
    bool ok_ = true;
};

// Refuses a value the controller cannot hold as a field that does not read is refused: the
// message gives the field's range, and the edit with `id` gets the focus and its text selected.
void RefuseOutOfRange(QDialog& dialog, int id, const ConfigRefusal& refusal);

// Puts numbers into the edit with `id`.
void SetUnsignedField(QDialog& dialog, int id, uint32_t value);
void SetSignedField(QDialog& dialog, int id, int32_t value);
void SetDoubleField(QDialog& dialog, int id, double value);

}  // namespace kavri::ui
