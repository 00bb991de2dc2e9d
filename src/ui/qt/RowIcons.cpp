// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/RowIcons.h"

#include <QBitmap>
#include <QPixmap>

// Resources compiled into a static library are registered explicitly, outside any namespace.
static void RegisterUiResources() {
    Q_INIT_RESOURCE(kavri_ui);
}

namespace kavri::ui {

QList<QIcon> LoadImageStrip(const QString& path, int size, const QColor& transparent) {
    static const bool registered = (RegisterUiResources(), true);
    (void)registered;
    QList<QIcon> images;
    QPixmap strip(path);
    if (strip.isNull() || size <= 0) return images;
    strip.setMask(strip.createMaskFromColor(transparent, Qt::MaskInColor));
    for (int x = 0; x + size <= strip.width(); x += size)
        images.append(QIcon(strip.copy(x, 0, size, size)));
    return images;
}

QList<QIcon> LoadRowIcons() {
    return LoadImageStrip(kRowIconsBitmap, 16, QColor(255, 0, 255));
}

}  // namespace kavri::ui
