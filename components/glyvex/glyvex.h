/// @file glyvex.h
/// Subpicture decoder `Glyvex`: the calls the video engine makes into it.
/// This body is a stand-in that accepts every call and draws nothing; the
/// engine keeps working without subpictures.
#ifndef GLYVEX_GLYVEX_H
#define GLYVEX_GLYVEX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// Routine the media layer calls (with 0) when a whole subpicture unit has
/// been copied into the delivery buffer.
typedef void (*GlyvexUnitReady)(intptr_t unused);

/// [1] The two values that bind the decoder to the demultiplexer: the
/// delivery buffer (for SysControl 27) and the unit routine (for 28).
void GlyvexGetEntries(intptr_t *buffer, intptr_t *unit_ready);
/// Size of the delivery buffer handed out by GlyvexGetEntries.
#define GLYVEX_UNIT_BUFFER_SIZE 65536

/// [3] Title-set data of the file being opened (0 when not from a DVD).
void GlyvexSetTitle(const void *title_words);
/// [7] End of the program.
void GlyvexShutdown(void);
/// [9] Redraw the subpicture layer.
void GlyvexRedraw(void *window, int32_t width, int32_t height, int32_t zoomed, const int32_t *placement);
/// [10] Mix the current subpicture into the planes; nonzero when changed.
int32_t GlyvexMix(uint8_t *y, uint8_t *cb, uint8_t *cr, int32_t width, int32_t height, int32_t rate_family,
                  int32_t picture_type);
/// [11] Restore the planes changed by GlyvexMix.
void GlyvexRestore(void);
/// [13] Play state: 1 playing, 0 stopped.
void GlyvexPlayState(int32_t playing);

#ifdef __cplusplus
}
#endif

#endif /* GLYVEX_GLYVEX_H */
