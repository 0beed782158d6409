// Opening, positioning, reading and closing the one source: plain files,
// raw-sector (RIFF CDXA) Video CD files, DVD .VOB files and joined title
// sets, CD tracks read by sectors, and the bare elementary modes.
#pragma once

#include <cstdint>

#include "media/source/path_forms.h"

namespace dravik {

struct State;

/// SysOpen on the MPEG path. -> source handle or -1 (state stays closed).
/// Extraction opens without the opening analysis (analyse false).
int32_t open_source(State &s, const PathForm &path, uint32_t start, bool analyse = true);
/// SysSeek in 64 bits. -> new position, or -1 when the source is exhausted
/// there.
int64_t seek_source(State &s, int64_t pos, int32_t origin);
/// SysClose for every kind of source.
void close_source(State &s);

/// One block of the source at its position (at most 64 KiB; 18816 bytes for
/// raw sectors); -> bytes, 0 at the end. Caller holds the I/O lock.
int32_t read_source_block(State &s, uint8_t *dst);
/// A raw elementary mode's direct read of up to len bytes. -> bytes.
int32_t read_raw_elementary(State &s, void *buf, int32_t len);

/// count 2048-byte sectors of a DVD source from sector index first (of the
/// file, or of the extent read by sectors); -> bytes.
int32_t read_dvd_source_sectors(State &s, int64_t first, int32_t count, uint8_t *dst);

/// Sector number of a BCD 0x00MMSSFF address (minus the 2-second lead-in).
int32_t bcd_address_to_sector(uint32_t msf);
/// Raw-sector position snapped to the start of its sector (never below 44).
int64_t snap_raw_sector(int64_t pos);

}  // namespace dravik
