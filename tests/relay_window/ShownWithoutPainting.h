#pragma once
// Shows a window for tests of geometry, focus and scrolling, with painting
// switched off. Painting runs Qt's raster fills on Qt's own thread pool,
// synchronised inside the uninstrumented library, which the thread sanitizer
// cannot follow; nothing these tests check depends on pixels.

#include <QTest>
#include <QWidget>

namespace relvane::testing {

[[nodiscard]] inline bool ShowWithoutPainting(QWidget& window) {
    window.setUpdatesEnabled(false);
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

[[nodiscard]] inline bool ShowActiveWithoutPainting(QWidget& window) {
    if (!ShowWithoutPainting(window)) return false;
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

}  // namespace relvane::testing
