/// @file pikran.h
/// Pikran, the MPEG-1 video encoder (libpikran.so): the calls the
/// converters make into it. Exports are reached by ordinal through
/// PikranProc (ordinals in brackets).
///
/// One encoding job at a time, driven from one worker thread:
///
///   PikranParams p = {1150000, 1, 0, 352, 288, 20, &bitmap_header, 3};
///   if (!PikranOpen("video.m1v", &p, frames)) fail();
///   for (each picture) PikranEncodeFrame(dib, 40 + palette + pixel bytes);
///   if (!PikranClose()) fail();  // a write failed somewhere on the way
#ifndef PIKRAN_PIKRAN_H
#define PIKRAN_PIKRAN_H

#include <stdint.h>

#if defined(__GNUC__)
#define PIKRAN_API __attribute__((visibility("default")))
#else
#define PIKRAN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// The 40-byte bitmap header that leads every picture (the Windows
/// BITMAPINFOHEADER layout, little-endian, no padding).
typedef struct PikranBitmapHeader {
  uint32_t biSize;          ///< at least 40; the palette or pixels follow after it
  int32_t biWidth;          ///< pixels
  int32_t biHeight;         ///< pixels; positive = bottom-up rows, negative = top-down
  uint16_t biPlanes;        ///< 1
  uint16_t biBitCount;      ///< 8 (with palette), 16 (5-5-5), 24 or 32
  uint32_t biCompression;   ///< 0 (uncompressed); others are refused
  uint32_t biSizeImage;     ///< may be 0; the pixel size follows from width, height and depth
  int32_t biXPelsPerMeter;  ///< ignored
  int32_t biYPelsPerMeter;  ///< ignored
  uint32_t biClrUsed;       ///< ignored: an 8-bit picture always carries 256 palette entries
  uint32_t biClrImportant;  ///< ignored
} PikranBitmapHeader;

/// Encoding parameters, eight fields in the callers' order. On 64-bit
/// systems the header pointer is pointer-sized: offsets 0, 4, 8, 12, 16,
/// 20, 24 (header, 8 bytes) and 32 (frame-rate code); 40 bytes in all.
typedef struct PikranParams {
  int32_t bit_rate;                  ///< +0  bit/s; 0 or less means 1,150,000, as does the Video CD flag
  int32_t video_cd;                  ///< +4  1 = Video CD constraints (352x288 or 352x240 only)
  int32_t reserved;                  ///< +8  always 0
  int32_t width;                     ///< +12 output width, 16..4095
  int32_t height;                    ///< +16 output height, 16..4095
  int32_t vbv_units;                 ///< +20 the constant 20: VBV buffer in 16 kbit units
  const PikranBitmapHeader *header;  ///< +24 describes the pictures to come; not kept
  int32_t frame_rate_code;           ///< +32 MPEG-1 frame_rate_code 1..8 (1..5 from the callers)
} PikranParams;

/// The Video CD constants: constant bit rate, the 40 KiB buffer, GOP lengths.
#define PIKRAN_VCD_BIT_RATE 1150000
#define PIKRAN_VCD_VBV_UNITS 20
#define PIKRAN_VCD_GOP_25 15
#define PIKRAN_VCD_GOP_30 18

/// [1] Creates the output file and readies the encoder. Returns non-zero on
/// success. Returns 0 and leaves no file for a null path or params, a null
/// header, a size outside 16..4095, a frame-rate code outside 1..8, the Video
/// CD flag with a size other than 352x288/352x240, or an open while another
/// job runs. expected_frames is a hint only.
PIKRAN_API int32_t PikranOpen(const char *path, const PikranParams *params, int32_t expected_frames);

/// [2] Appends one picture: a packed DIB (a PikranBitmapHeader, then for
/// 8-bit pictures a palette of 256 B,G,R,0 entries, then the rows, each
/// padded to 4 bytes) of `size` bytes in all. Pictures of another size than
/// the output are scaled. Returns 1 when the picture was taken; 0 when no
/// job runs or the picture is malformed (unknown depth or compression, or
/// pixels reaching past `size`), which is skipped and counted.
PIKRAN_API int32_t PikranEncodeFrame(const void *dib, int32_t size);

/// [3] Writes the held pictures and the sequence end code, closes the file
/// and ends the job. Returns 1 when every write succeeded, 0 after a
/// failure (or when no job runs).
PIKRAN_API int32_t PikranClose(void);

/// [4] Pictures skipped as malformed in the current or last job.
PIKRAN_API int32_t PikranSkippedFrames(void);

/// Export with the given ordinal, or null.
PIKRAN_API void *PikranProc(int32_t ordinal);

#ifdef __cplusplus
}
#endif

#endif /* PIKRAN_PIKRAN_H */
