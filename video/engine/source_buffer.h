// VideoOpenBuffer: a path buffer whose name is followed by binary fields
// ("Track.Player" with its drive and track, a joined DVD title set) is
// handed to the media layer's sized probe and open while that one open
// runs; every other open passes a plain name through the media port.
#pragma once

#include <cstdint>

namespace kestrum {

/// While alive (on this thread), the engine's probe and open of a source
/// use buffer (of size bytes) in place of the name they are given.
class ScopedSourceBuffer {
 public:
  ScopedSourceBuffer(const void *buffer, int32_t size);
  ~ScopedSourceBuffer();
  ScopedSourceBuffer(const ScopedSourceBuffer &) = delete;
  ScopedSourceBuffer &operator=(const ScopedSourceBuffer &) = delete;
};

/// SysProbe of path, or SysProbeBuffer of the buffer in scope.
int32_t probe_source(const char *path, int32_t *length);
/// SysOpen of path, or SysOpenBuffer of the buffer in scope.
int32_t open_source(const char *path, uint32_t start);

}  // namespace kestrum
