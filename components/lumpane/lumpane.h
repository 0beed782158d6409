/*
 * Lumpane: the overlay picture drawn into every presented and held picture.
 * The picture comes in the suite's bitmap form (a 40-byte BITMAPINFOHEADER
 * followed by bottom-up pixels, 24-bit, or 32-bit with alpha), is converted
 * to BT.601 once when set and blended into the 4:2:0 planes at its place;
 * what a draw changed is restored exactly.
 */
#ifndef LUMPANE_LUMPANE_H
#define LUMPANE_LUMPANE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Full opacity. */
#define LUMPANE_OPAQUE 256
/** Largest side of an overlay picture. */
#define LUMPANE_MAX_SIDE 2048

/** [1] Sets the overlay picture (bitmap in the suite's form; 0 clears it)
 *  with its top-left corner at (x, y) and opacity 0-256. -> 1, or 0 for a
 *  bitmap that is not 24- or 32-bit, uncompressed and at most 2048 pixels
 *  on a side (the old picture is then cleared). */
typedef int32_t (*LumpaneSetPictureFn)(const void *bitmap, int32_t x, int32_t y, int32_t opacity);
int32_t LumpaneSetPicture(const void *bitmap, int32_t x, int32_t y, int32_t opacity);
/** [2] Draws it into the planes; nonzero when they changed (then call 3
 *  before they are used again). */
int32_t LumpaneDraw(uint8_t *y, uint8_t *cb, uint8_t *cr, int32_t y_pitch, int32_t c_pitch, int32_t width,
                    int32_t height, int32_t picture_type);
/** [3] Restores the planes changed by the last draw. */
void LumpaneRestore(void);

#ifdef __cplusplus
}
#endif

#endif /* LUMPANE_LUMPANE_H */
