// Sources served by host plug-in objects: offering a path to them (by
// extension or the ".RMF" magic, and as the last resort of the probe), the
// remembered answer, the opener with its fallback over the others, and the
// positioning and closing of an open plug-in source.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "media/media_api.h"

namespace dravik {

struct State;

/// Probe step 3: when a plug-in lists the path's extension or the file
/// starts with ".RMF", the first plug-in whose probe answers 0-2 takes it.
/// -> its answer, or nothing when no plug-in took the path.
std::optional<SourceKind> offer_to_plugins(State &s, const std::string &path, int32_t *length);
/// Probe step 7: every plug-in is asked; -> the first answer 0-2, or
/// nothing when none took the path.
std::optional<SourceKind> ask_all_plugins(State &s, const std::string &path, int32_t *length);

/// SysOpen through the plug-ins. -> true when one serves the source.
bool open_plugin_source(State &s, const std::string &path, uint32_t start);
/// SysSeek of a plug-in source: (0, 1) asks its position.
int64_t seek_plugin_source(State &s, int32_t pos, int32_t origin);
void close_plugin_source(State &s);

/// Command 67: closes a plug-in source first, then releases every plug-in
/// and forgets the remembered probe.
void release_plugins(State &s);

/// Whether an extension list ("y4m;.MOV;...") names path's extension.
bool extension_listed(const char *list, const std::string &path);

}  // namespace dravik
