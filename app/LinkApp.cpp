// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LinkApp.h"

#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "app/LinkWindow.h"

namespace fennow {

namespace {

constexpr int kCompanionGap = 16;

// Side by side, centred on the screen as a pair, once both have their real frame sizes.
void PlaceSideBySide(QWidget& window, QWidget& companion) {
  companion.show();
  const QRect screen = window.screen() ? window.screen()->availableGeometry() : QRect();
  const QSize pair(
      window.frameGeometry().width() + kCompanionGap + companion.frameGeometry().width(),
      std::max(window.frameGeometry().height(), companion.frameGeometry().height()));
  const QPoint origin(screen.x() + std::max(0, (screen.width() - pair.width()) / 2),
                      screen.y() + std::max(0, (screen.height() - pair.height()) / 2));
  window.move(origin);
  companion.move(origin + QPoint(window.frameGeometry().width() + kCompanionGap, 0));
}

}  // namespace

bool LinkApp::InitInstance() {
  auto window = std::make_unique<LinkWindow>(platform_);
  if (companion_ != nullptr) {
    // Modal only over its own (absent) parent, so the companion keeps taking input.
    window->setWindowModality(Qt::WindowModal);
    QTimer::singleShot(0, companion_,
                       [w = window.get(), c = companion_] { PlaceSideBySide(*w, *c); });
  }
  window->exec();  // how it ended changes nothing
  window.reset();
  return false;
}

}  // namespace fennow
