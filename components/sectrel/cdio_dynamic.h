// libcdio and libiso9660 loaded when a disc is first opened instead of
// linked: every process of the suite would otherwise load and relocate
// them at start. Files that call them include this header after their
// own; every call then goes through the table.
//
// Call cdio_loaded() before the first libcdio call of a path; the entries
// are valid only after it returned true.
#pragma once

#include <cdio/cdio.h>
#include <cdio/iso9660.h>
#include <cdio/logging.h>

#define SECTREL_CDIO_FUNCTIONS(X) \
  X(cdio_close_tray)              \
  X(cdio_destroy)                 \
  X(cdio_eject_media_drive)       \
  X(cdio_get_disc_last_lsn)       \
  X(cdio_get_discmode)            \
  X(cdio_get_driver_name)         \
  X(cdio_get_first_track_num)     \
  X(cdio_get_last_track_num)      \
  X(cdio_get_track_format)        \
  X(cdio_get_track_lsn)           \
  X(cdio_get_track_sec_count)     \
  X(cdio_log_set_handler)         \
  X(cdio_open)                    \
  X(cdio_open_bincue)             \
  X(cdio_open_cdrdao)             \
  X(cdio_open_cue)                \
  X(cdio_open_nrg)                \
  X(cdio_read_audio_sectors)      \
  X(cdio_read_data_sectors)       \
  X(cdio_read_mode1_sectors)      \
  X(cdio_read_mode2_sectors)      \
  X(cdio_set_speed)               \
  X(iso9660_close)                \
  X(iso9660_iso_seek_read)        \
  X(iso9660_open)

namespace sectrel {

struct CdioApi {
#define SECTREL_CDIO_MEMBER(name) decltype(&::name) name;
  SECTREL_CDIO_FUNCTIONS(SECTREL_CDIO_MEMBER)
#undef SECTREL_CDIO_MEMBER
};

/// Loads both libraries once (any thread); true when every function was
/// found.
bool cdio_loaded();
/// The table; valid only after cdio_loaded() returned true.
const CdioApi &cdio();

}  // namespace sectrel

#ifndef SECTREL_CDIO_LOADER
#define cdio_close_tray sectrel::cdio().cdio_close_tray
#define cdio_destroy sectrel::cdio().cdio_destroy
#define cdio_eject_media_drive sectrel::cdio().cdio_eject_media_drive
#define cdio_get_disc_last_lsn sectrel::cdio().cdio_get_disc_last_lsn
#define cdio_get_discmode sectrel::cdio().cdio_get_discmode
#define cdio_get_driver_name sectrel::cdio().cdio_get_driver_name
#define cdio_get_first_track_num sectrel::cdio().cdio_get_first_track_num
#define cdio_get_last_track_num sectrel::cdio().cdio_get_last_track_num
#define cdio_get_track_format sectrel::cdio().cdio_get_track_format
#define cdio_get_track_lsn sectrel::cdio().cdio_get_track_lsn
#define cdio_get_track_sec_count sectrel::cdio().cdio_get_track_sec_count
#define cdio_log_set_handler sectrel::cdio().cdio_log_set_handler
#define cdio_open sectrel::cdio().cdio_open
#define cdio_open_bincue sectrel::cdio().cdio_open_bincue
#define cdio_open_cdrdao sectrel::cdio().cdio_open_cdrdao
#define cdio_open_cue sectrel::cdio().cdio_open_cue
#define cdio_open_nrg sectrel::cdio().cdio_open_nrg
#define cdio_read_audio_sectors sectrel::cdio().cdio_read_audio_sectors
#define cdio_read_data_sectors sectrel::cdio().cdio_read_data_sectors
#define cdio_read_mode1_sectors sectrel::cdio().cdio_read_mode1_sectors
#define cdio_read_mode2_sectors sectrel::cdio().cdio_read_mode2_sectors
#define cdio_set_speed sectrel::cdio().cdio_set_speed
#define iso9660_close sectrel::cdio().iso9660_close
#define iso9660_iso_seek_read sectrel::cdio().iso9660_iso_seek_read
#define iso9660_open sectrel::cdio().iso9660_open
#endif
