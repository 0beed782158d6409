// SysControl: the command dispatcher.
#pragma once

#include <cstdint>

namespace dravik {

struct State;

intptr_t control(State &s, int32_t cmd, intptr_t param);

}  // namespace dravik
