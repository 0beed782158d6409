/*
 * Sectrel: sector access to CD and DVD drives (raw 2352-byte and 2048-byte
 * sectors, table of contents, track starts, lengths and types, doors).
 *
 * The media library relies only on what is written here. Drive index 0 is
 * drive "A:"; drives are entries of the "DRIVES" section of the suite's
 * settings file. Every entry answers 0 when it cannot do its job.
 *
 * This build is a static library linked into libdravik.so. Until the drive
 * layer exists its body reports that no sector access is available:
 * command SECTREL_CMD_READY answers 0 and every read fails.
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
  SECTREL_CMD_DISC_VALUE = 1,      /**< a disc value (media SysControl 23) */
  SECTREL_CMD_TRACK_START = 2,     /**< (track) -> first sector */
  SECTREL_CMD_TRACK_LENGTH = 3,    /**< (track) -> length in sectors */
  SECTREL_CMD_CANNOT_CONTINUE = 4, /**< non-zero: no disc / not ready after a
                                        failed read */
  SECTREL_CMD_OP5 = 5,             /**< passed through from SysControl 14 */
  SECTREL_CMD_READY = 6,           /**< non-zero when the drive is ready
                                        (drive 0: sector access exists) */
  SECTREL_CMD_TRACK_TYPE = 7,      /**< (track) -> 0 Video CD data track,
                                        1 a track that rules the disc out */
  SECTREL_CMD_OP12 = 12,           /**< passed through from SysControl 56 */
  SECTREL_CMD_PREPARE = 13,        /**< prepare the drive after OpenDrive */
  SECTREL_CMD_RELEASE = 14,        /**< release the drive */
  SECTREL_CMD_DRIVE_PARAM = 18,    /**< (value) apply the drive parameter */
  SECTREL_CMD_DOOR = 20,           /**< (1 open, 0 close) -> non-zero moved */
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

/** Type of SectrelCommand, as handed out by the media library's
 *  SysControl 70. */
typedef int32_t (*SectrelCommandFn)(int32_t drive, int32_t command, int32_t param);

#ifdef __cplusplus
}
#endif

#endif /* SECTREL_SECTREL_H */
