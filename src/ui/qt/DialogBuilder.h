// SPDX-License-Identifier: GPL-3.0-or-later
// Builds Qt widgets from a DialogTemplate. Every control is placed from its dialog-unit
// rectangle through the dialog font's metrics, so the layout keeps its proportions at any font
// size, and carries its id (property "controlId", objectName "ctl<id>") so code and tests find
// it by id.
#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>

#include "ui/dialogs/DialogTemplate.h"

class QDialog;

namespace kavri::ui {

// The font a template names when it is installed and can render Cyrillic; otherwise the first
// installed sans family from a list with the same role (a small proportional UI face), at the
// template's point size.
QFont DialogFont(const QString& name, int pointSize);

// Dialog units to pixels for one font: x·cx/4 and y·cy/8, where cx is the font's average
// character width (the mean advance of A-Z and a-z, rounded) and cy its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int cx, int cy) : cx_(cx), cy_(cy) {}

    int cx() const { return cx_; }
    int cy() const { return cy_; }
    int X(int du) const;
    int Y(int du) const;
    // Maps the corners, so neighbouring rectangles stay gap-free after rounding.
    QRect Rect(int x, int y, int width, int height) const;

private:
    int cx_;
    int cy_;
};

// Gives `dialog` the template's caption, font, fixed client size and title-bar buttons, and
// creates every control as its child in template order (which is also the tab order). The
// dialog cannot be resized. Returns the dialog-unit mapping used.
DialogUnits BuildDialog(QDialog& dialog, const DialogTemplate& tmpl);

// The control with `id` among the descendants of `root`; nullptr when there is none.
QWidget* FindControl(const QWidget& root, int id);

template <typename T>
T* FindControlAs(const QWidget& root, int id) {
    return qobject_cast<T*>(FindControl(root, id));
}

// The id a control was built with; kNoControlId for widgets without one.
int ControlId(const QObject* widget);

// Gives a widget built outside a template its id in the same way (run-time controls).
void SetControlId(QWidget* widget, int id);

}  // namespace kavri::ui
