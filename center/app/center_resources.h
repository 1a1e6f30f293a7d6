// The window's icons and marker images, compiled into the views library.
#pragma once

namespace Quorvane::Center {

// Registers them once; every view that loads one calls it first (a static library's resources
// are not registered by themselves).
void EnsureCenterResources();

}  // namespace Quorvane::Center
