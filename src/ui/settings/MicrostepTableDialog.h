// The focuser's microstep current table: generated from a sine, a tangent or a sine with a
// third harmonic, bent with an exponent ("Pow"), inverted, or typed as numbers; drawn as a
// level curve and as the path of the two coil currents. "Apply" sends the table to the
// controller and keeps the dialog open; "Exit" closes it without sending, leaving the edits
// in the device's copy.
#pragma once

#include <QDialog>

#include "device/MicrostepCurves.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace kavri {
class WheelFocuserDevice;
}

namespace kavri::ui {

class DialogUnits;
class UpDownControl;

class MicrostepTableDialog : public QDialog {
    Q_OBJECT
public:
    // Edits `device`'s table in place; the device is not owned and may be null.
    MicrostepTableDialog(WheelFocuserDevice* device, QWidget* parent = nullptr);

    // "Apply" and Enter: sends the table.
    void OnOK();

    // The figures as they would be drawn now, in client pixels.
    MicrostepFigures Figures() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void KeepCurveBand(const DialogUnits& units);
    void ShowTable();
    void Generate(MicrostepCurve curve);
    void ApplyShape();
    void ParseTable();
    void ToggleInverse();
    int Count() const;
    uint8_t* Table() const;

    QCheckBox* inverseBox = nullptr;
    UpDownControl* powSpin = nullptr;
    QLineEdit* powEdit = nullptr;
    QPlainTextEdit* tableEdit = nullptr;
    WheelFocuserDevice* device;
    MicrostepShape shape{};
    // True while the table was made from `shape`, so a new exponent bends it again; any
    // change of the table text clears it.
    bool shapeActive = false;
};

}  // namespace kavri::ui
