// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/DialogBuilder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVariant>
#include <algorithm>

#include "ui/qt/ReportListView.h"
#include "ui/qt/UpDownControl.h"

namespace kavri::ui {
namespace {

constexpr char kIdProperty[] = "controlId";

// A check box that answers to a click anywhere in its rectangle, as the template's control
// does. A manual box only reports the click: the program sets every state.
class TemplateCheckBox : public QCheckBox {
public:
    TemplateCheckBox(const QString& text, bool manual, QWidget* parent)
        : QCheckBox(text, parent), manual_(manual) {}

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void nextCheckState() override {
        if (!manual_) QCheckBox::nextCheckState();
    }

private:
    bool manual_;
};

// A frame with its title set into the top line, the title on the dialog's background.
class GroupFrame : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        // An etched line: a dark rectangle with a light one a pixel below and to the right.
        const QRect frame = rect().adjusted(0, metrics.height() / 2, -2, -2);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(frame);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(frame.translated(1, 1));
        if (title().isEmpty()) return;
        const int pad = 2;
        const QRect text(metrics.averageCharWidth() + pad, 0,
                         metrics.horizontalAdvance(title()) + 2 * pad, metrics.height());
        painter.fillRect(text, palette().window());
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        painter.drawText(text, Qt::AlignCenter | Qt::TextSingleLine, title());
    }
};

// The template's UTF-8 text.
QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// Read-only edits show the dialog's background, so they read as displays, not inputs.
void ShowAsReadOnly(QWidget* edit) {
    QPalette palette = edit->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
    edit->setPalette(palette);
}

bool RendersCyrillic(const QString& family) {
    return QFontDatabase::families().contains(family) &&
           QFontDatabase::writingSystems(family).contains(QFontDatabase::Cyrillic);
}

QWidget* MakeCheckBox(const ControlTemplate& c, QWidget* parent) {
    auto* box = new TemplateCheckBox(Text(c.text), (c.style & Style::AutoCheck) == 0, parent);
    box->setTristate((c.style & Style::ThreeState) != 0);
    if ((c.style & Style::TextLeft) != 0) box->setLayoutDirection(Qt::RightToLeft);
    return box;
}

QWidget* MakeEdit(const ControlTemplate& c, QWidget* parent) {
    if ((c.style & Style::Multiline) != 0) {
        auto* edit = new QPlainTextEdit(Text(c.text), parent);
        edit->setLineWrapMode((c.style & Style::AutoHScroll) != 0 ? QPlainTextEdit::NoWrap
                                                                  : QPlainTextEdit::WidgetWidth);
        edit->setReadOnly((c.style & Style::ReadOnly) != 0);
        if ((c.style & Style::ReadOnly) != 0) ShowAsReadOnly(edit);
        if ((c.style & Style::NoBorder) != 0) edit->setFrameShape(QFrame::NoFrame);
        edit->setTabChangesFocus(true);
        return edit;
    }
    auto* edit = new QLineEdit(Text(c.text), parent);
    edit->setReadOnly((c.style & Style::ReadOnly) != 0);
    if ((c.style & Style::ReadOnly) != 0) ShowAsReadOnly(edit);
    edit->setFrame((c.style & Style::NoBorder) == 0);
    if ((c.style & Style::DigitsOnly) != 0)
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
}

QWidget* MakeStatic(const ControlTemplate& c, const QRect& rect, QWidget* parent) {
    auto* label = new QLabel(Text(c.text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(((c.style & Style::Centered) != 0 ? Qt::AlignHCenter : Qt::AlignLeft) |
                        Qt::AlignTop);
    // Text breaks into lines where it says so, or where its rectangle has room for more lines.
    const int lineHeight = QFontMetrics(label->font()).height();
    label->setWordWrap(c.text.find('\n') != std::string::npos || rect.height() >= 2 * lineHeight);
    if ((c.style & Style::Border) != 0) label->setFrameShape(QFrame::Box);
    return label;
}

QWidget* MakeComboBox(const ControlTemplate& c, QRect& rect, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    for (const std::string& item : c.items) combo->addItem(Text(item));
    // The template's height is that of the open list; the closed box is one line high.
    const int closed = combo->sizeHint().height();
    const int itemHeight = std::max(1, QFontMetrics(combo->font()).height());
    combo->setMaxVisibleItems(std::max(1, (rect.height() - closed) / itemHeight));
    rect.setHeight(closed);
    return combo;
}

QWidget* MakeControl(const ControlTemplate& c, QRect& rect, QWidget* parent) {
    switch (c.kind) {
        case ControlKind::PushButton: {
            auto* button = new QPushButton(Text(c.text), parent);
            button->setDefault((c.style & Style::DefaultButton) != 0);
            return button;
        }
        case ControlKind::CheckBox:
            return MakeCheckBox(c, parent);
        case ControlKind::GroupBox:
            return new GroupFrame(Text(c.text), parent);
        case ControlKind::Static:
            return MakeStatic(c, rect, parent);
        case ControlKind::Edit:
            return MakeEdit(c, parent);
        case ControlKind::ComboBox:
            return MakeComboBox(c, rect, parent);
        case ControlKind::UpDown:
            return new UpDownControl(c.style, parent);
        case ControlKind::ListView:
            return new ReportListView(c.style, parent);
    }
    return new QWidget(parent);
}

// The room for a check box's text beside its indicator, in pixels.
int CheckBoxTextWidth(const QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
}

// True when the control shows its whole text in its rectangle with its present font.
bool TextFits(const QWidget* w) {
    const QFontMetrics metrics(w->font());
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        const QRect room = label->contentsRect();
        const int wrap = label->wordWrap() ? Qt::TextWordWrap : 0;
        const QRect need =
            metrics.boundingRect(room, static_cast<int>(label->alignment()) | wrap, label->text());
        return need.width() <= room.width() && need.height() <= room.height();
    }
    if (const auto* box = qobject_cast<const QCheckBox*>(w)) {
        return metrics.horizontalAdvance(box->text()) <= CheckBoxTextWidth(box);
    }
    if (const auto* button = qobject_cast<const QPushButton*>(w)) {
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        return metrics.horizontalAdvance(button->text()) + margin <= button->width();
    }
    return true;
}

QFont StepSmaller(QFont font) {
    if (font.pointSizeF() > 1) {
        font.setPointSizeF(font.pointSizeF() - 1);
    } else if (font.pixelSize() > 1) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    return font;
}

// Each line cut to `width` pixels with an ellipsis.
QString Elided(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) line = metrics.elidedText(line, Qt::ElideRight, width);
    return lines.join(QLatin1Char('\n'));
}

// The templates are laid out for a face that may be missing here, and a wider fallback can run
// a text past its control, under the next one. So a label or check box first gives up any part
// of its rectangle that another control covers; then a text that still does not fit gets the
// font a step smaller, and when even that is too wide, it is cut with an ellipsis and shown in
// full as a tool tip. Buttons only take the smaller font, since a cut caption is no caption.
void FitTexts(QDialog& dialog) {
    const QList<QWidget*> controls = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* w : controls) {
        auto* label = qobject_cast<QLabel*>(w);
        auto* box = qobject_cast<QCheckBox*>(w);
        if (label == nullptr && box == nullptr && qobject_cast<QPushButton*>(w) == nullptr)
            continue;
        if (label != nullptr || box != nullptr) {
            QRect room = w->geometry();
            for (const QWidget* other : controls) {
                if (other == w || qobject_cast<const QGroupBox*>(other) != nullptr) continue;
                const QRect covered = other->geometry();
                if (covered.intersects(room) && covered.left() > room.left())
                    room.setRight(covered.left() - 1);
            }
            w->setGeometry(room);
        }
        if (TextFits(w)) continue;
        const QFont normal = w->font();
        w->setFont(StepSmaller(normal));
        if (TextFits(w) || (label == nullptr && box == nullptr)) continue;
        w->setFont(normal);
        const QString full = label != nullptr ? label->text() : box->text();
        const int width = label != nullptr ? label->contentsRect().width() : CheckBoxTextWidth(box);
        const QString cut = Elided(full, QFontMetrics(normal), width);
        if (label != nullptr) {
            label->setWordWrap(false);
            label->setText(cut);
        } else {
            box->setText(cut);
        }
        w->setToolTip(full);
    }
}

}  // namespace

QFont DialogFont(const QString& name, int pointSize) {
    // Small proportional faces in the same role as the template's font, the closest first.
    static const char* const kFallbacks[] = {
        "Microsoft Sans Serif", "Liberation Sans", "Arimo",
        "Nimbus Sans",          "Noto Sans",       "DejaVu Sans"};
    QString family;
    if (RendersCyrillic(name)) {
        family = name;
    } else {
        for (const char* candidate : kFallbacks) {
            if (RendersCyrillic(QString::fromLatin1(candidate))) {
                family = QString::fromLatin1(candidate);
                break;
            }
        }
    }
    QFont font =
        family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont) : QFont(family);
    font.setPointSize(pointSize > 0 ? pointSize : 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    cx_ = std::max(1, (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2);
    cy_ = std::max(1, metrics.height());
}

// Rounded to the nearest pixel, halves away from zero, as a multiply-then-divide would.
static int Scale(int du, int unit, int divisor) {
    const long long product = static_cast<long long>(du) * unit;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor : (product - half) / divisor);
}

int DialogUnits::X(int du) const {
    return Scale(du, cx_, 4);
}
int DialogUnits::Y(int du) const {
    return Scale(du, cy_, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

DialogUnits BuildDialog(QDialog& dialog, const DialogTemplate& tmpl) {
    dialog.setFont(DialogFont(Text(tmpl.fontName), tmpl.pointSize));
    const DialogUnits units(dialog.font());
    dialog.setWindowTitle(Text(tmpl.caption));
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if ((tmpl.style & DialogStyle::MinimizeBox) != 0) flags |= Qt::WindowMinimizeButtonHint;
    dialog.setWindowFlags(flags);
    dialog.setSizeGripEnabled(false);
    dialog.setFixedSize(units.X(tmpl.width), units.Y(tmpl.height));

    QWidget* previous = nullptr;
    QWidget* previousFocusable = nullptr;
    for (const ControlTemplate& c : tmpl.controls) {
        QRect rect = units.Rect(c.x, c.y, c.width, c.height);
        QWidget* widget = MakeControl(c, rect, &dialog);
        widget->setGeometry(rect);
        if (c.id != kNoControlId) SetControlId(widget, c.id);
        if ((c.style & Style::Disabled) != 0) widget->setEnabled(false);
        if (auto* upDown = qobject_cast<UpDownControl*>(widget)) {
            if ((c.style & Style::AutoBuddy) != 0) upDown->SetBuddy(previous);
        }
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previousFocusable != nullptr) QWidget::setTabOrder(previousFocusable, widget);
            previousFocusable = widget;
        }
        previous = widget;
    }
    FitTexts(dialog);
    return units;
}

QWidget* FindControl(const QWidget& root, int id) {
    const QList<QWidget*> all = root.findChildren<QWidget*>();
    for (QWidget* widget : all) {
        if (ControlId(widget) == id) return widget;
    }
    return nullptr;
}

int ControlId(const QObject* widget) {
    if (widget == nullptr) return kNoControlId;
    const QVariant id = widget->property(kIdProperty);
    return id.isValid() ? id.toInt() : kNoControlId;
}

void SetControlId(QWidget* widget, int id) {
    if (widget == nullptr) return;
    widget->setProperty(kIdProperty, id);
    widget->setObjectName(QStringLiteral("ctl%1").arg(id));
}

}  // namespace kavri::ui
