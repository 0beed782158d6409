// The calls the audio engine makes into the media layer, gathered in one
// table. The library binds it to Dravik's exports; tests install their own
// table to drive the engine from memory or to inject failures.
#pragma once

#include <cstdint>

#include "media/media_api.h"

namespace lunaret {

using MediaCallbackFn = void (*)(void *item);

struct MediaLink {
  int32_t (*probe)(const char *path, int32_t *length);
  int32_t (*avi_probe)(const char *path, int32_t *duration_ms);
  int32_t (*open)(const char *path, uint32_t start);
  int32_t (*close)();
  int32_t (*seek)(int32_t pos, int32_t origin);
  int32_t (*flush)(int32_t which);
  void (*queue_callback)(MediaCallbackFn fn, void *item);
  int32_t (*reserved42)();
  int32_t (*audio_avail)();
  int32_t (*read_audio)(void *buf, int32_t len);
  int32_t (*read_stream)(int32_t id, void *buf, int32_t len);
  intptr_t (*control)(int32_t cmd, intptr_t param);
};

/// The table in use (Dravik's exports unless a test installed another).
const MediaLink &media();
/// Installs a table (null restores the default). Only while the engine is
/// closed.
void set_media_link(const MediaLink *link);
/// Dravik's exports, or a table with no source when the library was built
/// without the media layer.
const MediaLink &default_media_link();

}  // namespace lunaret
