#pragma once
// The error types, for callers that include them by this path.
#include "grpaudit/platform/errors.h"
