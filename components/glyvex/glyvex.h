/// @file glyvex.h
/// Subpicture decoder `Glyvex`: the calls the video engine makes into it.
///
/// The media layer copies each whole subpicture unit of the selected stream
/// into the delivery buffer and calls the unit routine on whichever reader
/// thread parsed it; the unit is queued with the count of video bytes that
/// lay ahead of it then, and starts when the decoder has taken those bytes
/// (GlyvexBindVideo). Its control sequences run at their delays, counted in
/// shown pictures (GlyvexPictureShown). Colours come from the title set's
/// palette (GlyvexSetTitle), grey levels without one.
#ifndef GLYVEX_GLYVEX_H
#define GLYVEX_GLYVEX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// Routine the media layer calls (with 0) when a whole subpicture unit has
/// been copied into the delivery buffer.
typedef void (*GlyvexUnitReady)(intptr_t unused);
/// A count of video bytes, read on any thread without locks.
typedef int64_t (*GlyvexVideoCount)(void);

/// [1] The two values that bind the decoder to the demultiplexer: the
/// delivery buffer (for SysControl 27) and the unit routine (for 28).
void GlyvexGetEntries(intptr_t *buffer, intptr_t *unit_ready);
/// Size of the delivery buffer handed out by GlyvexGetEntries.
#define GLYVEX_UNIT_BUFFER_SIZE 65536

/// [3] Title-set data of the file being opened: the address of its 16
/// palette words (0x00YYCrCb), or 0 when not from a DVD. Clears the
/// subpicture on screen and the queued units.
void GlyvexSetTitle(const void *title_words);
/// [7] End of the program.
void GlyvexShutdown(void);
/// [9] Redraw the subpicture layer.
void GlyvexRedraw(void *window, int32_t width, int32_t height, int32_t zoomed, const int32_t *placement);
/// [10] Mix the subpicture as shown now into the 4:2:0 planes; nonzero when
/// changed. rate_family: 1 for the 24/25/50 Hz family, 0 for 30 Hz material.
int32_t GlyvexMix(uint8_t *y, uint8_t *cb, uint8_t *cr, int32_t y_pitch, int32_t c_pitch, int32_t width,
                  int32_t height, int32_t rate_family, int32_t picture_type);
/// [11] Restore the planes changed by GlyvexMix.
void GlyvexRestore(void);
/// [14] A unit from the host (size bytes, at most the delivery buffer's
/// size): replaces the one shown, at once.
void GlyvexTakeUnit(const void *unit, int32_t size, int32_t rate_family);
/// [13] Play state: 1 playing, 0 stopped.
void GlyvexPlayState(int32_t playing);

/// Counters of the video bytes: taken by the decoder so far, and taken plus
/// those waiting in the media layer's ring (read in the unit routine).
/// Either may be 0: units then start at the next picture.
void GlyvexBindVideo(GlyvexVideoCount taken, GlyvexVideoCount ahead);
/// A new picture is shown for `fields` field periods: starts the units
/// whose bytes the decoder has passed and runs the control sequences due.
void GlyvexPictureShown(int32_t fields, int32_t rate_family);
/// A seek or a new stream: forgets the queued units and the one shown.
void GlyvexClear(void);
/// Nonzero while a subpicture is visible.
int32_t GlyvexVisible(void);

#ifdef __cplusplus
}
#endif

#endif /* GLYVEX_GLYVEX_H */
