// SPDX-License-Identifier: GPL-3.0-or-later
// A pair of arrows that step a number, attached to a buddy edit. Each arrow click first reports
// the proposed change (DeltaPos), then moves the position within the range. The range may run
// backwards (lower above upper): the up arrow then proposes −1. A new control has the range
// 100..0, so a control whose range is never set reports −1 for its up arrow and +1 for its down
// arrow; the report is made at the ends of the range too, so such a control can drive an
// unbounded value through DeltaPos alone.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <cstdint>

class QToolButton;

namespace kavri::ui {

class UpDownControl : public QWidget {
    Q_OBJECT
public:
    // `style`: the Style::AutoBuddy ... Style::NoThousands flags of DialogTemplate.h.
    explicit UpDownControl(uint32_t style, QWidget* parent = nullptr);

    void SetRange(int lower, int upper);
    int Lower() const { return lower_; }
    int Upper() const { return upper_; }

    // With Style::SetBuddyInt the position is first taken from the buddy's text when that holds
    // a number inside the range.
    int Position();
    void SetPosition(int position);

    // Attaches the buddy (a QLineEdit for SetBuddyInt). With Style::AlignRight the control moves
    // to the right end of the buddy, takes its height, and the buddy is narrowed by the
    // control's width; with Style::ArrowKeys the Up and Down keys in the buddy click the arrows.
    void SetBuddy(QWidget* buddy);
    QWidget* Buddy() const { return buddy_; }

    // One click of the up (true) or down (false) arrow, `steps` increments at a time.
    void Click(bool up, int steps = 1);

    QToolButton* UpArrow() const { return up_; }
    QToolButton* DownArrow() const { return down_; }

signals:
    // The proposed change of the position, sent before it is applied, also at the range's ends.
    void DeltaPos(int delta);
    void PositionChanged(int position);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnArrowPressed();
    int HeldIncrement() const;
    void WriteBuddy();

    uint32_t style_;
    int lower_ = 100;
    int upper_ = 0;
    int position_ = 0;
    QPointer<QWidget> buddy_;
    QToolButton* up_;
    QToolButton* down_;
    QElapsedTimer held_;  // how long an arrow has been held, for the repeat acceleration
};

}  // namespace kavri::ui
