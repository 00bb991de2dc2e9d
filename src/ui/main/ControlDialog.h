// The program's main window: port choice, connect and disconnect, the filter table with its
// in-place editors, the focuser panel and the settings commands. It works on the one device,
// which it never owns, and joins the device's clients while it holds the connection.
#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLineEdit;
class QTimer;

namespace kavri {
class WheelFocuserDevice;
}

namespace kavri::ui {

class ReportListView;
class UpDownControl;

class ControlDialog : public QDialog {
    Q_OBJECT
public:
    // Builds the dialog from template 202 and initialises it from the device.
    explicit ControlDialog(WheelFocuserDevice* device, QWidget* parent = nullptr);
    ~ControlDialog() override;

    // Controls to members (`save` true) or members to controls, then the enabling rules.
    void UpdateData(bool save);

    // Connect and disconnect, as their buttons and Enter run them.
    void OnConnect();
    void OnDisconnect();

    // Filter list.
    void FillFilterList();
    void MarkCurrentFilter();
    bool BeginCellEdit(QPoint point);  // viewport coordinates of the list
    void EndCellEdit();
    bool CellEditorOpen() const;

    // Focuser panel and the once-a-second refresh.
    void OnTimer();
    void ShowAutoStates();
    void OnAutoBox(int thermometer);
    void OnFocuserSpin(int delta);
    void OnMinStepSpin(int delta);
    void OnMinStepEdit();
    void OnSet();
    void OnGo();

    // Cleared while a dialog opened from this one is up: the refresh then leaves the device
    // alone.
    void SetRefreshEnabled(bool enabled) { refreshEnabled_ = enabled; }
    int AutoIndex() const { return autoIndex_; }

    // Closing: the cancel path (Exit, Escape, window close) and the accept path.
    void OnCancel();
    void OnOK();

    // Settings commands (SettingsCommands.cpp): the two settings dialogs and the settings
    // files, each with the periodic refresh paused while its dialog is up.
    void OnWheelSettings();
    void OnFocuserSettings();
    void OnSave();
    void OnLoad();
    bool RefreshEnabled() const { return refreshEnabled_; }

    // Shows a message to the user; replaceable so tests can see what would be shown.
    using WarningSink = std::function<void(const QString& text)>;
    void SetWarningSink(WarningSink sink) { warn_ = std::move(sink); }

    int PortIndex() const { return portIndex_; }
    int HighlightedFilter() const { return highlightedFilter_; }

    // The keyboard rules for a key pressed anywhere in this dialog; true when consumed.
    bool PreTranslateKey(const QKeyEvent& key);

public slots:
    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ConnectSettingsCommands();
    void OnInitDialog();
    void CreateColumns();
    void OnListDoubleClick(QPoint point, int row);
    // Closes the cell editor without storing what it holds.
    void DiscardCellEdit();
    void ShowEditedCell(bool shown);
    // Mouse events on the cell editor and its arrows; true when consumed.
    bool CellEditorMouseEvent(QWidget* widget, QEvent* event);
    void OnLabelEdited(int row, const QString& text);
    void ShowWarning(const QString& text);
    void OnHangUp();
    // The typed name of thermometer `k` as the device keeps it; false, with the field reset
    // and the user told, when the name cannot be stored.
    bool ThermometerNameBytes(int k, std::string& bytes);
    // The focuser position typed into the value box; false, with the user told, when it is
    // outside what the controller can hold.
    bool TargetFromBox(int32_t& target);
    // False, with the user told, when `target` is outside the controller's positions.
    bool CheckFocuserTarget(int64_t target);

    WheelFocuserDevice* device_;
    int portIndex_ = 0;
    QList<QIcon> rowIcons_;
    int autoIndex_ = -1;
    bool refreshEnabled_ = true;
    int highlightedFilter_ = -1;
    QPointer<QLineEdit> cellEditor_;
    QPointer<UpDownControl> cellSpin_;
    int editRow_ = -1;
    int editColumn_ = -1;
    bool editorReleased_ = false;  // a mouse button went up over the open editor

    QComboBox* portCombo_;
    ReportListView* filterList_;
    QLineEdit* positionBox_;
    QLineEdit* minStepEdit_;
    UpDownControl* minStepSpin_;
    QTimer* refreshTimer_;
    WarningSink warn_;
};

}  // namespace kavri::ui
