// Moved to the core, where the clip store uses it too.
#pragma once

#include "core/color_hex.h"
