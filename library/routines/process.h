#pragma once
#include "routines.h"

namespace tav::routines::process {
Status quit_return(const int32_t*);
}  // namespace tav::routines::process
