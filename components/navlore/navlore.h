/*
 * Navlore: DVD title-set information (title sets, program chains, chapters
 * as sector ranges, palettes, audio and subpicture attributes), read from a
 * folder disc, an ISO image or a device through libdvdread.
 *
 * The engine and the title copier rely on the ordinals; the disc listing is
 * for the command-line tool. Every call answers 0 (null) when it cannot do
 * its job and never prints.
 */
#ifndef NAVLORE_NAVLORE_H
#define NAVLORE_NAVLORE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Bytes of one DVD sector. */
#define NAVLORE_SECTOR 2048
/** Most audio and subpicture streams a title set can carry. */
#define NAVLORE_MAX_AUDIO 8
#define NAVLORE_MAX_SPU 32

/** One chapter: [first sector of its first cell, last sector of its last
 *  cell + 1), counted from the start of the set's first title VOB. */
typedef struct NavloreChapter {
  uint32_t first;
  uint32_t end;
} NavloreChapter;

/* The title-set record, read by 32-bit words: word 6 the playing seconds of
 * title 1's program chain, 7-22 its palette (0x00YYCrCb), 23 the video
 * attribute bytes read big-endian, 24 and 41 the stream counts, 25-40 and
 * 42-89 the audio (8 x 8 bytes) and subpicture (32 x 6 bytes) attribute
 * records as the information file stores them. The chapter count of title 1
 * sits at byte 360 and a pointer to its chapter table at byte 364. */
#pragma pack(push, 4)
typedef struct NavloreTitleSet {
  int32_t set_number;       /**< word 0: title set, from 1 */
  int32_t chain_count;      /**< word 1: program chains of the set */
  int32_t title_ms;         /**< word 2: title 1's length in milliseconds */
  int32_t reserved[3];      /**< words 3-5 */
  int32_t seconds;          /**< word 6 */
  uint32_t palette[16];     /**< words 7-22 */
  uint32_t video;           /**< word 23 */
  int32_t audio_count;      /**< word 24: 0..8 */
  uint8_t audio[8 * 8];     /**< words 25-40 */
  int32_t spu_count;        /**< word 41: 0..32 */
  uint8_t spu[32 * 6];      /**< words 42-89 */
  int32_t chapter_count;    /**< byte 360 */
  NavloreChapter *chapters; /**< byte 364 */
  /** The stream ids the VOB carries for each audio and subpicture stream
   *  number, from the chain's control tables (0 when not available). */
  uint8_t audio_ids[8];
  uint8_t spu_ids[32];
  /** Bytes of the set's title VOBs together. */
  int64_t title_vob_bytes;
} NavloreTitleSet;
#pragma pack(pop)

/** [1] A navigation record from the host; kept, not read. */
void NavloreSetNavigation(const void *record);
/** [2] Title set `set_number` (from 1) of drive `drive` (a letter of the
 *  drive map, either case) -> record, or 0. */
NavloreTitleSet *NavloreOpenTitle(int32_t drive, int32_t set_number);
/** [3] The title set whose first VOB is `path` ("VTS_nn_0.VOB" in a disc
 *  folder, or a drive path "X:/VIDEO_TS/VTS_nn_0.VOB"; the file itself need
 *  not exist) -> record, or 0. */
NavloreTitleSet *NavloreOpenTitleSet(const char *path);
/** [4] Frees a record of 2 or 3 (0 is ignored). */
void NavloreFreeTitle(NavloreTitleSet *title);

/** Audio coding modes of the attribute records. */
enum NavloreAudioFormat {
  NAVLORE_AUDIO_AC3 = 0,
  NAVLORE_AUDIO_MPEG1 = 2,
  NAVLORE_AUDIO_MPEG2 = 3,
  NAVLORE_AUDIO_LPCM = 4,
  NAVLORE_AUDIO_DTS = 6
};

/** One stream of a title in a disc listing. */
typedef struct NavloreStream {
  int32_t id;       /**< the id the VOB carries (0x80, 0xC0, 0x20, ...) */
  int32_t format;   /**< NavloreAudioFormat, or -1 for a subpicture */
  int32_t channels; /**< audio channels, 0 for a subpicture */
  char language[3]; /**< two letters and a zero, "" when not given */
} NavloreStream;

/** One chapter of a title in a disc listing. */
typedef struct NavloreChapterInfo {
  int32_t start_ms;
  int32_t length_ms;
  uint32_t first_sector; /**< as NavloreChapter */
  uint32_t end_sector;
} NavloreChapterInfo;

/** One title of the disc (as the disc's title table lists it). */
typedef struct NavloreDiscTitle {
  int32_t set;       /**< title set */
  int32_t set_title; /**< title number within the set */
  int32_t length_ms;
  int32_t wide; /**< 1 for 16:9 */
  int32_t width, height;
  uint32_t palette[16];
  int32_t chapter_count;
  const NavloreChapterInfo *chapters;
  int32_t audio_count;
  NavloreStream audio[8];
  int32_t spu_count;
  NavloreStream spu[32];
} NavloreDiscTitle;

typedef struct NavloreDisc {
  int32_t title_count;
  const NavloreDiscTitle *titles;
} NavloreDisc;

/** Every title of the disc at `path` (a folder holding VIDEO_TS, the
 *  VIDEO_TS folder, an ISO image, a device or a drive "X:") -> listing, or
 *  0. Free with NavloreFreeDisc. */
NavloreDisc *NavloreReadDisc(const char *path);
void NavloreFreeDisc(NavloreDisc *disc);
/** Short name of an audio format ("ac3", "mpeg1", "mpeg2", "lpcm", "dts",
 *  "?"). */
const char *NavloreFormatName(int32_t format);

#ifdef __cplusplus
}
#endif

#endif /* NAVLORE_NAVLORE_H */
