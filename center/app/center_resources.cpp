#include "center/app/center_resources.h"

#include <QtGlobal>

static void RegisterCenterResources() { Q_INIT_RESOURCE(center); }

namespace Quorvane::Center {

void EnsureCenterResources() {
  static const bool registered = (RegisterCenterResources(), true);
  (void)registered;
}

}  // namespace Quorvane::Center
