// The picture-level steps the loops are made of: decode the next picture,
// pass over pictures to the next I (or anchor), decode unless it is a B,
// and present. Each decode runs under engine_lock.
#pragma once

#include <cstdint>

namespace kestrum {
struct Engine;
}

namespace kestrum::play {

/// What a step did.
enum class Got : int32_t { end = -1, nothing = 0, picture = 1 };

/// Picture-type sets for pass_to().
inline constexpr uint32_t kIntraOnly = 1u << 1;
inline constexpr uint32_t kAnchors = (1u << 1) | (1u << 2);

/// Decodes the next picture (both fields of a field picture).
Got decode_next(Engine &e);
/// Passes over pictures, while the video ring holds more than `bound`
/// bytes, until one of `types` comes, and decodes that one. B pictures are
/// passed over without being decoded, and so are P pictures when only I is
/// wanted.
Got pass_to(Engine &e, uint32_t types, int32_t bound);
/// Decodes the next picture unless it is a B picture (which is only parsed).
Got decode_unless_b(Engine &e);
/// Calls the end callback and presents the current picture.
void present(Engine &e);
/// Field periods the picture the last step decoded stays on screen (2 for
/// a plain frame).
int32_t picture_fields();
/// When that picture starts on screen, in field periods from the stream's
/// first picture; kNoPictureTime when the decoder does not know.
int64_t picture_time();

}  // namespace kestrum::play

namespace kestrum::play {
/// Passes over pictures up to the next I picture and decodes it; the
/// caller holds engine_lock. 1 when one was found.
int32_t pass_to_intra_locked();
}  // namespace kestrum::play
