// SysProbe: what a path names, and which opener the next SysOpen uses.
#pragma once

#include <cstdint>

#include "media/media_api.h"
#include "media/source/path_forms.h"

namespace dravik {

struct State;

SourceKind probe_source(State &s, const PathForm &path, int32_t *length);

}  // namespace dravik
