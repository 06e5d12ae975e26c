// veltrotool image: inspect, convert and resize single pictures with the
// product's own codecs.
#pragma once

#include "tools/commands.h"

namespace veltro::tool {

// "image info FILE", "image convert IN OUT [--quality Q]",
// "image scale --nearest|--average|--canvas IN OUT W H"; the exit status.
int runImage(const Args& args);

}  // namespace veltro::tool
