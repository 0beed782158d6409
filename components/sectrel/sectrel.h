/*
 * Sectrel: sector access to CD and DVD drives (raw 2352-byte and 2048-byte
 * sectors, table of contents, track starts, lengths and types, doors).
 *
 * The media library relies only on what is written here. Drive index 0 is
 * drive "A:"; drives are entries of the "DRIVES" section of the suite's
 * settings file. Every entry answers 0 when it cannot do its job.
 *
 * This build is a static library linked into libdravik.so, on libcdio
 * (devices, BIN/CUE, NRG and TOC images) and libiso9660 (bare .iso images,
 * one mode-1 data track). Sector numbers are LSNs: 0 is 00:02:00. A raw
 * sector is the sync pattern, the BCD header of LSN + 150 with the mode
 * byte and the 2336 bytes after it (audio sectors: the 2352 bytes as they
 * are). A: and B: are never mapped. Calls on one drive are serialised; a
 * damaged image makes its drive "not ready", never ends the process.
 */
#ifndef SECTREL_SECTREL_H
#define SECTREL_SECTREL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Bytes of one raw CD sector and of one data sector. */
#define SECTREL_RAW_SECTOR 2352
#define SECTREL_DATA_SECTOR 2048

/** Ordinal numbers of the entries. */
enum SectrelOrdinal {
  SECTREL_ORD_OPEN_DRIVE = 51,
  SECTREL_ORD_READ_RAW8 = 52,
  SECTREL_ORD_READ_RAW = 53,
  SECTREL_ORD_COMMAND = 54,
  SECTREL_ORD_READ_DATA = 56
};

/** Commands of SectrelCommand (drive, command, parameter). */
enum SectrelCommandNumber {
  SECTREL_CMD_LAST_TRACK = 0,      /**< bits 16-31: number of the last track */
  SECTREL_CMD_DISC_VALUE = 1,      /**< the disc mode (libcdio discmode_t;
                                        media SysControl 23) */
  SECTREL_CMD_TRACK_START = 2,     /**< (track) -> first sector */
  SECTREL_CMD_TRACK_LENGTH = 3,    /**< (track) -> length in sectors */
  SECTREL_CMD_CANNOT_CONTINUE = 4, /**< non-zero: no disc / not ready after a
                                        failed read */
  SECTREL_CMD_OP5 = 5,             /**< passed through from SysControl 14;
                                        answers 0 */
  SECTREL_CMD_READY = 6,           /**< non-zero when the drive is ready
                                        (drive 0: sector access exists) */
  SECTREL_CMD_TRACK_TYPE = 7,      /**< (track) -> 0 XA (Video CD data), 1
                                        audio (or no such track), 2 mode-1
                                        data */
  SECTREL_CMD_OP12 = 12,           /**< passed through from SysControl 56;
                                        answers 0 */
  SECTREL_CMD_PREPARE = 13,        /**< prepare the drive after OpenDrive */
  SECTREL_CMD_RELEASE = 14,        /**< release the drive */
  SECTREL_CMD_DRIVE_PARAM = 18,    /**< (value) read speed of a device */
  SECTREL_CMD_DOOR = 20,           /**< (1 open, 0 close) -> non-zero moved;
                                        images answer 0 */
  SECTREL_CMD_PARAM_READY = 21     /**< non-zero: ready for command 18 */
};

/** [51] Non-zero when drive can be used for sector access. */
int32_t SectrelOpenDrive(int32_t drive);
/** [52] Read 8 raw sectors (18816 bytes) from first into buffer; non-zero
 *  on success. */
int32_t SectrelReadRaw8(int32_t drive, void *buffer, int32_t first);
/** [53] Read count raw sectors from first into buffer; non-zero on
 *  success. */
int32_t SectrelReadRaw(int32_t drive, void *buffer, int32_t first, int32_t count);
/** [54] Command function, see SectrelCommandNumber. */
int32_t SectrelCommand(int32_t drive, int32_t command, int32_t param);
/** [56] Read count 2048-byte sectors from first; -> bytes read, 0 on
 *  failure. */
int32_t SectrelReadData(int32_t drive, void *buffer, int32_t first, int32_t count);

/** Drives beyond the ordinals, for the programs' disc listings and the
 *  media library's drive facts. */

/** Non-zero when drive is an entry of the drive map. */
int32_t SectrelIsMapped(int32_t drive);
/** Volume serial number of the disc: a checksum of its sector 16; 0 when
 *  that sector cannot be read. */
uint32_t SectrelVolumeSerial(int32_t drive);

/** What a drive maps to and whether it can be read. */
typedef struct SectrelDriveInfo {
  char source[512];  /**< device or image path, "" when unmapped */
  char driver[64];   /**< the driver reading it, "" when not ready */
  char problem[256]; /**< why it is not ready, "" when it is */
  int32_t ready;     /**< 1 when the disc can be read */
  int32_t lead_out;  /**< LSN of the lead-out */
} SectrelDriveInfo;
/** Fills info for drive (reopening it when its map entry changed);
 *  -> 1, or 0 for a drive index outside C:..Z: or a null info. */
int32_t SectrelDescribe(int32_t drive, SectrelDriveInfo *info);

/** Type of SectrelCommand, as handed out by the media library's
 *  SysControl 70. */
typedef int32_t (*SectrelCommandFn)(int32_t drive, int32_t command, int32_t param);

#ifdef __cplusplus
}
#endif

#endif /* SECTREL_SECTREL_H */
