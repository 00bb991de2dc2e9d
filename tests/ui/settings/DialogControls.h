// Finding a settings dialog's controls by id and pressing its buttons, for the dialog tests.
#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QWidget>

#include "ui/common/DialogBuilder.h"

namespace kavri::ui::test_controls {

// The control with `id`, of type T; a missing control fails the test.
template <typename T>
T* Control(QWidget& dialog, int id) {
    T* control = FindControlAs<T>(dialog, id);
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
}

inline void Press(QWidget& dialog, int id) {
    QTest::mouseClick(Control<QPushButton>(dialog, id), Qt::LeftButton);
}

}  // namespace kavri::ui::test_controls
