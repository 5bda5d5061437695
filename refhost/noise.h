// The application's "Texture Functions 3": of its operations only the noise
// (operation 24) is offered; the others are null.
#pragma once

#include "host/host_api.h"

namespace refhost {

// Smooth 3D gradient noise: continuous, with continuous first and second
// derivatives, deterministic and the same on every platform; nominally in
// [-1, 1] and zero at the points of its integer lattice.
double gradient_noise(double x, double y, double z);

// The noise the service hands out: gradient noise over a lattice offset from
// the integers (so that round positions do not all give the mid value),
// scaled to 0..1.
double texture_noise(double position[3]);

const QvTextureFuncs &texture_funcs();

}  // namespace refhost
