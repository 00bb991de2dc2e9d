// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/UpDownControl.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

#include "ui/dialogs/DialogTemplate.h"

namespace kavri::ui {

UpDownControl::UpDownControl(uint32_t style, QWidget* parent)
    : QWidget(parent), style_(style), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    for (QToolButton* arrow : {up_, down_}) {
        arrow->setArrowType(arrow == up_ ? Qt::UpArrow : Qt::DownArrow);
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
        connect(arrow, &QToolButton::pressed, this, &UpDownControl::OnArrowPressed);
        connect(arrow, &QToolButton::released, this, [this, arrow] {
            if (!arrow->isDown()) held_.invalidate();  // really let go, not a repeat
        });
    }
    connect(up_, &QToolButton::clicked, this, [this] { Click(true, HeldIncrement()); });
    connect(down_, &QToolButton::clicked, this, [this] { Click(false, HeldIncrement()); });
    setFocusPolicy(Qt::NoFocus);
}

void UpDownControl::SetRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    position_ = std::clamp(position_, std::min(lower_, upper_), std::max(lower_, upper_));
}

int UpDownControl::Position() {
    if ((style_ & Style::SetBuddyInt) != 0) {
        if (auto* edit = qobject_cast<QLineEdit*>(buddy_.data())) {
            bool ok = false;
            const int typed = edit->text().trimmed().toInt(&ok);
            if (ok && typed >= std::min(lower_, upper_) && typed <= std::max(lower_, upper_))
                position_ = typed;
        }
    }
    return position_;
}

void UpDownControl::SetPosition(int position) {
    position_ = std::clamp(position, std::min(lower_, upper_), std::max(lower_, upper_));
    WriteBuddy();
}

void UpDownControl::SetBuddy(QWidget* buddy) {
    if (buddy_) buddy_->removeEventFilter(this);
    buddy_ = buddy;
    if (!buddy) return;
    if ((style_ & Style::AlignRight) != 0 && buddy->parentWidget() == parentWidget()) {
        const QRect b = buddy->geometry();
        const int w = std::min(width(), b.width());
        setGeometry(b.right() + 1 - w, b.top(), w, b.height());
        buddy->setGeometry(b.left(), b.top(), b.width() - w, b.height());
    }
    if ((style_ & Style::ArrowKeys) != 0) buddy->installEventFilter(this);
}

void UpDownControl::Click(bool up, int steps) {
    if (!isEnabled()) return;
    const int direction = upper_ < lower_ ? -1 : 1;
    const int delta = (up ? steps : -steps) * direction;
    const int from = Position();
    emit DeltaPos(delta);
    const int to = std::clamp(from + delta, std::min(lower_, upper_), std::max(lower_, upper_));
    if (to != position_ || (style_ & Style::SetBuddyInt) != 0) {
        position_ = to;
        WriteBuddy();
        emit PositionChanged(position_);
    }
}

bool UpDownControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress && isEnabled()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
                Click(key->key() == Qt::Key_Up);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDownControl::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

// Auto-repeat re-sends `pressed` at every repeat; only the first press starts the clock.
void UpDownControl::OnArrowPressed() {
    if (!held_.isValid()) held_.start();
}

// An arrow held down repeats faster the longer it is held: 1 per repeat at first, 5 after two
// seconds, 20 after five.
int UpDownControl::HeldIncrement() const {
    if (!held_.isValid()) return 1;
    const qint64 ms = held_.elapsed();
    if (ms >= 5000) return 20;
    if (ms >= 2000) return 5;
    return 1;
}

void UpDownControl::WriteBuddy() {
    if ((style_ & Style::SetBuddyInt) == 0) return;
    if (auto* edit = qobject_cast<QLineEdit*>(buddy_.data()))
        edit->setText(QString::number(position_));
}

}  // namespace kavri::ui
