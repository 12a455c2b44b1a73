#pragma once
// The interfaces to the outside, for callers that include them by this path.
#include "grpaudit/platform/platform.h"
