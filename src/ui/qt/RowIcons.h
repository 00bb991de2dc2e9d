// SPDX-License-Identifier: GPL-3.0-or-later
// Image strips shipped as bitmap resources: equal square images side by side, with one colour
// drawn transparent.
#pragma once

#include <QColor>
#include <QIcon>
#include <QList>
#include <QString>

namespace kavri::ui {

// Resource path of bitmap 3005, the two row icons of the filter list (image 0: a cyan disc for
// any filter, image 1: a yellow disc for the filter in the light path).
inline const QString kRowIconsBitmap = QStringLiteral(":/kavri/bitmap/3005.bmp");

// Cuts the bitmap at `path` into images `size` pixels wide, with `transparent` made see-through.
// Empty when the bitmap cannot be read.
QList<QIcon> LoadImageStrip(const QString& path, int size, const QColor& transparent);

// The filter list's row icons from bitmap 3005: 16 × 16, magenta transparent.
QList<QIcon> LoadRowIcons();

}  // namespace kavri::ui
