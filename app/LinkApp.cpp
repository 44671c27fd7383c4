#include "app/LinkApp.h"

#include <memory>

#include "app/LinkWindow.h"

namespace fennow {

bool LinkApp::InitInstance() {
  auto window = std::make_unique<LinkWindow>(platform_);
  window->exec();  // how it ended changes nothing
  window.reset();
  return false;
}

}  // namespace fennow
