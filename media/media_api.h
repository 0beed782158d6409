/*
 * Dravik: the media system layer (libdravik.so). This header is its whole
 * public face.
 *
 * One source per process: no export takes a handle; every call works on the
 * library's single state record. A program typically calls
 *
 *     int32_t len = 0;
 *     SysReset();                              // optional
 *     SourceKind kind = SysProbe(path, &len);  // must come before SysOpen
 *     if (kind >= 0 && kind <= 2 && SysOpen(path, 0) != DRAVIK_HANDLE_NONE) {
 *       // stream choice through SysControl (20-22, 26, 30-35, 48)
 *       while ((n = SysReadVideo(buf, 16384)) > 0) ...   // any thread
 *       SysClose();
 *     }
 *
 * Integers that can never carry an address stay 32 bits wide; everything
 * that can (SysControl's parameter and result, table entries) is
 * pointer-sized. No export throws, shows messages or keeps error text; the
 * documented 0 / -1 results are the only failure reports.
 *
 * Threads: the read exports (SysReadVideo, SysReadAudio, SysReadStream,
 * SysFindPicture, the Avail queries) may be called from the engines' reader
 * threads concurrently with each other. SysOpen, SysClose, SysSeek, SysReset
 * and the SysControl commands that change selection or hooks are not locked
 * against concurrent reads: callers stop their readers first.
 *
 * Every export is also reachable by its ordinal number through DravikProc.
 * Compiles as C11 and C++.
 */
#ifndef DRAVIK_MEDIA_API_H
#define DRAVIK_MEDIA_API_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define DRAVIK_API __declspec(dllexport)
#else
#define DRAVIK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Values                                                                    */
/* ------------------------------------------------------------------------ */

/** Result of SysProbe (and of SysAviProbe, a plug-in's probe, the probe
 *  hook). */
typedef int32_t SourceKind;
enum {
  SOURCE_KIND_CANNOT_OPEN = -1, /**< the path cannot be opened */
  SOURCE_KIND_SYSTEM = 0,       /**< system stream, anything with video and
                                     audio, or a raw-sector (CDXA) file */
  SOURCE_KIND_VIDEO = 1,        /**< video elementary stream / video-only */
  SOURCE_KIND_AUDIO = 2,        /**< audio elementary stream / audio-only */
  SOURCE_KIND_NOTHING = 3       /**< nothing playable */
};

/** Source handle values besides ordinary file descriptors. */
#define DRAVIK_HANDLE_NONE (-1)
#define DRAVIK_HANDLE_AVI 0x46495641    /**< "AVIF" as a little-endian word */
#define DRAVIK_HANDLE_DVB 0x7FFFF       /**< stream served by the DVB library */
#define DRAVIK_HANDLE_CD_TRACK 0x7FFFFF /**< CD track read by raw sectors */
#define DRAVIK_HANDLE_PLUGIN 0x4E47554C /**< "LUGN": a plug-in serves it */

/** SysOpen start arguments. 1..0xFFFFFF is a Video CD entry point written as
 *  BCD 0x00MMSSFF; 0x1000000 and above (other than these two) start at the
 *  beginning. */
#define DRAVIK_START_BEGIN 0u
#define DRAVIK_START_RAW_VIDEO 0x88888888u /**< bare video elementary stream */
#define DRAVIK_START_RAW_AUDIO 0x88888889u /**< bare audio elementary stream */

/** Ring sizes (bytes). Indexes wrap at these sizes. */
#define DRAVIK_VIDEO_RING_BYTES 0x200000
#define DRAVIK_AUDIO_RING_BYTES 0x20000
/** Size of one source block. */
#define DRAVIK_BLOCK_BYTES 0x10000

/** SysFlush arguments. */
#define DRAVIK_FLUSH_BOTH_ON 0   /**< path mode 0, returns 0 */
#define DRAVIK_FLUSH_AUDIO_OFF 1 /**< path mode 1; empties audio ring+queue */
#define DRAVIK_FLUSH_VIDEO_OFF 2 /**< path mode 2; empties the video ring */
#define DRAVIK_FLUSH_QUEUE 10    /**< empties the callback queue */
#define DRAVIK_FLUSH_AUDIO 20    /**< empties audio ring and queue */

/** SysGetPackOverhead while an AVI or plug-in source is open. */
#define DRAVIK_PACK_OVERHEAD_AVI 8000u

/*
 * Path buffers with binary fields. Two special names carry binary fields
 * right after their terminating NUL:
 *   "Track.Player" NUL, drive index (byte 13, 0 = A:), track - 1 (byte 14);
 *   a joined DVD title set "...VTS_nn_X.VOB" NUL, first part (1 byte), last
 *   part (1 byte), first sector (int32 LE), length in 2048-byte sectors
 *   (int32 LE).
 * A bare NUL-terminated pointer does not say whether those bytes exist, so
 * SysProbe and SysOpen treat their argument as a plain string and refuse
 * these two forms (SOURCE_KIND_CANNOT_OPEN / -1). Pass such buffers with
 * their size through SysProbeBuffer / SysOpenBuffer instead; a buffer too
 * short for its fields is refused the same way.
 */
#define DRAVIK_TRACK_PLAYER_NAME "Track.Player"
#define DRAVIK_TRACK_PLAYER_FIELDS 2 /**< bytes after the NUL */
#define DRAVIK_JOINED_SET_FIELDS 10  /**< bytes after the NUL */
#define DRAVIK_DVB_NAME "DVBStream.DVB"

/* ------------------------------------------------------------------------ */
/* SysControl commands                                                       */
/* ------------------------------------------------------------------------ */

/** Command numbers of SysControl. Numbers not listed answer 0 and change
 *  nothing. "param" is SysControl's second argument. */
enum DravikControl {
  CTL_SET_SEGMENT_START = 0,   /**< segment start := param; -> param */
  CTL_SET_SEGMENT_END = 1,     /**< segment end := param; -> param */
  CTL_SEGMENT_COPY = 2,        /**< next segment block to fd param; -> bytes
                                    since start, -1 at the end or when the
                                    write failed */
  CTL_FLUSH_AUDIO = 3,         /**< empty the audio ring and queue; -> 0 */
  CTL_SEGMENT_BEGIN = 4,       /**< save state, seek to segment start; 1/0 */
  CTL_SEGMENT_FINISH = 5,      /**< write the tail to fd param (a segment
                                    reaching the source's end ends there);
                                    1, 0 when a segment write failed */
  CTL_SEGMENT_HEAD = 6,        /**< write the head to fd param; -> bytes,
                                    0 on failure */
  CTL_AUDIO_HEADER = 7,        /**< -> 16-bit header word of the last audio
                                    elementary probe */
  CTL_SET_CDXA_DIRECT = 8,     /**< allow sector access for raw-sector files;
                                    -> previous value */
  CTL_STREAM_MIX = 9,          /**< -> 0/1 video+audio, 3 video only, 2 else */
  CTL_DRIVE_OPEN = 10,         /**< sector library ordinal 51 (drive param) */
  CTL_DOOR_OPEN = 11,          /**< open the door of drive param; -> 1 */
  CTL_DOOR_CLOSE = 12,         /**< close the door of drive param; -> 1 */
  CTL_SET_SECTOR_ACCESS = 13,  /**< as 8, applied to the open source; -> 0 */
  CTL_DRIVE_OP5 = 14,          /**< sector command 5 (drive 0, param) */
  CTL_SECTOR_READY = 15,       /**< -> non-zero if sector access exists */
  CTL_TRACK_START = 16,        /**< param drive*65536+track -> start sector */
  CTL_TRACK_LENGTH = 17,       /**< as 16 -> track length in sectors */
  CTL_SET_SIZE = 18,           /**< source size := param; -> 0 */
  CTL_DVB_CALL = 19,           /**< DVB library ordinal 1 (param) or 0 */
  CTL_AUDIO_COUNT = 20,        /**< -> number of audio ids seen */
  CTL_AUDIO_CURRENT = 21,      /**< -> selected audio id, -1 none */
  CTL_AUDIO_SELECT = 22,       /**< select audio id param; -> 0 */
  CTL_DISC_INFO = 23,          /**< drive param: sector command 1, or 0 */
  CTL_VCD_TRACKS = 24,         /**< drive param as Video CD -> MPEG tracks */
  CTL_VCD_KIND = 25,           /**< -> 0 none, 1 VCD, 2 HQ-VCD, 3 SVCD */
  CTL_AUDIO_LIST = 26,         /**< sort seen audio ids; -> const int32_t * */
  CTL_SPU_BUFFER = 27,         /**< subpicture unit buffer := param; -> 0 */
  CTL_SPU_CALLBACK = 28,       /**< DravikSpuCallback := param; -> 0 */
  CTL_SPU_ENABLE = 29,         /**< subpicture delivery on/off; -> 0 */
  CTL_SPU_SELECT = 30,         /**< preferred subpictures := {param}; -> 0 */
  CTL_SPU_CURRENT = 31,        /**< -> selected subpicture or -1 */
  CTL_SPU_COUNT = 32,          /**< -> number of subpicture ids seen */
  CTL_SPU_LIST = 33,           /**< sort seen subpictures; -> int32_t * */
  CTL_AUDIO_PREFER = 34,       /**< preferred audio := {param}; -> 0 */
  CTL_SPU_PREFER = 35,         /**< preferred subpictures := {param}; -> 0 */
  CTL_BYTE_RATE = 38,          /**< -> byte rate, 1 when unknown */
  CTL_RATE_VALID = 39,         /**< -> rate valid flag */
  CTL_FORGET_DISC = 40,        /**< forget the VIDEO_TS listing; -> 0 */
  CTL_SET_OUTPUT_DIR = 41,     /**< extraction folder := (const char*)param */
  CTL_EXTRACT_OPEN = 42,       /**< reset, open (const char*)param for
                                    extraction; -> handle or -1 */
  CTL_EXTRACT_CLOSE = 43,      /**< close source and outputs; -> 0, or -1
                                    when an output was lost (see 87) */
  CTL_EXTRACT_STEP = 44,       /**< parse one pack; -> SCR/2 of last pack */
  CTL_AT_END = 45,             /**< -> end flag */
  CTL_SET_NAME_HOOK = 46,      /**< DravikNameHook := param; -> 0 */
  CTL_ANGLE_SELECT = 48,       /**< angle := param (0..9); -> 0 */
  CTL_ANGLE_COUNT = 49,        /**< -> angles in the current nav pack */
  CTL_ANGLE_CURRENT = 50,      /**< -> angle chosen with 48 */
  CTL_SET_FILE_IO_A = 51,      /**< const FileIoTable * := param; -> 0 */
  CTL_SET_PROBE_HOOK = 52,     /**< DravikProbeHook := param; -> 0 */
  CTL_DVB_LOAD = 53,           /**< load the DVB library; -> handle or 0 */
  CTL_DVB_UNLOAD = 54,         /**< free the DVB library; -> 0 */
  CTL_DVB_CALL2 = 55,          /**< DVB library ordinal 8 (param); -> 0 */
  CTL_DRIVE_OP12 = 56,         /**< sector command 12 (drive 0, param); 0 */
  CTL_FILE_IO_B_HOOK1 = 58,    /**< table B slot 11 (handle); -> 0 */
  CTL_FILE_IO_B_HOOK2 = 59,    /**< table B slot 12 (handle); -> 0 */
  CTL_FILE_IO_B_HOOK3 = 60,    /**< table B slot 13 (handle, param); -> 0 */
  CTL_SOURCE_HANDLE = 61,      /**< -> source handle */
  CTL_SET_DRIVE_PARAM = 62,    /**< drive parameter := param; -> 0 */
  CTL_SET_FILE_IO_B = 63,      /**< const FileIoTable * := param; -> 0 */
  CTL_WAIT_SYSTEM_HEADER = 64, /**< SysOpen waits for a system header; 0 */
  CTL_JOIN_VTS = 65,           /**< join a title set; param is a
                                    DravikJoinRequest *; -> 1/0 */
  CTL_ADD_PLUGIN = 66,         /**< append SourcePlugin * param; -> 0 */
  CTL_RELEASE_PLUGINS = 67,    /**< release and forget all plug-ins; -> 0 */
  CTL_PLUGIN_ACTIVE = 68,      /**< -> SourcePlugin * serving the source, 0 */
  CTL_QUEUE_TAKE = 69,         /**< -> next queued item (void *) or 0 */
  CTL_DRIVE_ENTRY = 70,        /**< -> SectrelCommandFn of the sector lib */
  CTL_SOURCE_SIZE = 72,        /**< -> source size (INT32_MAX from 2 GiB) */
  CTL_IS_DVD = 73,             /**< -> 1 for a .VOB or joined title set */
  CTL_SECTOR_SCALE = 74,       /**< -> sector scale */
  CTL_SET_TS_DIVISOR = 75,     /**< rate divisor := param; -> 0 */
  CTL_SET_NO_PROBE = 76,       /**< extraction opens skip the probe; -> 0 */
  CTL_EXTRACT_OPEN_RAW = 77,   /**< open (const char*)param for extraction;
                                    -> handle or -1 */
  CTL_READ_BLOCK = 78,         /**< next 64 KiB block into the parse buffer;
                                    its address stored at (const void **)param
                                    when not null; -> bytes */
  CTL_EXTRACT_ENABLE = 79,     /**< extraction mode on for the source; 0 */
  CTL_SET_WRITER = 80,         /**< ExtractWriter := param, mode 2; -> 0 */
  CTL_SET_FILE_IO_C = 81,      /**< const FileIoTableC * := param; -> 0 */
  CTL_ADD_SINK = 82,           /**< StreamSink for stream param; -> the
                                    StreamSink *, or 0 if one exists */
  CTL_REMOVE_SINK = 83,        /**< remove and free that sink; -> 0 */
  CTL_SPU_TABLE = 84,          /**< -> const DravikSpuTable * */
  CTL_AUDIO_PREFER_ADD = 85,   /**< append param to preferred audio; -> 0 */
  CTL_SPU_PREFER_ADD = 86,     /**< append param to preferred spu; -> 0 */
  CTL_EXTRACT_FAILURES = 87    /**< -> outputs of the current or last
                                    extraction that were lost (a failed
                                    create or write, a path already taken) */
};

/* ------------------------------------------------------------------------ */
/* Records that cross the boundary                                           */
/* ------------------------------------------------------------------------ */

/** Callback of the callback queue (SysQueueCallback). */
typedef void (*DravikCallback)(void *item);

/** Subpicture unit callback (command 28): called with 0 after a whole unit
 *  was copied into the unit buffer (command 27). Runs in a reader's thread
 *  under the parse lock; it must not call back into the read exports. */
typedef void (*DravikSpuCallback)(intptr_t arg);

/** Seen-subpicture record returned by command 84. Offsets: count at 0,
 *  numbers from 8. */
typedef struct DravikSpuTable {
  int32_t count;
  int32_t reserved;
  int32_t numbers[32];
} DravikSpuTable;

/** Extraction writer (command 80). kind: 0 video, 1 subpicture, 2 LPCM,
 *  3 AC-3, 4 MPEG audio (0xC0-0xC7), 5 extension audio (0xD0-0xD7), 6 DTS,
 *  7 SDDS; index: the stream's number within its kind. For framed kinds it
 *  is called once per field (tag, length, [SCR/2], payload). data is only
 *  valid during the call. */
typedef void (*ExtractWriter)(int32_t kind, int32_t index, const void *data, int32_t length);

/** Output file-name hook (command 46): receives the full output path and
 *  returns another path to create instead (must stay valid until the file is
 *  created), or NULL to keep the path. */
typedef const char *(*DravikNameHook)(const char *path);

/** Probe hook (command 52): asked first by the MPEG content probe with the
 *  path, the size out and the audio header word out. A result 0-3 is taken
 *  as the SourceKind (and *size as the length); -1 or anything outside
 *  -1..3 counts as no answer. */
typedef int32_t (*DravikProbeHook)(const char *path, int32_t *size, int32_t *header_word);

/** Host file table A or B (commands 51, 63): replaces the file calls for the
 *  source and the probe. Entry i sits at offset i * sizeof(void *). Handles
 *  are the table's own (int32, -1 = failure). Every file the library opens
 *  goes to the first layer of A, B, then C or the operating system whose
 *  family is whole: open, size, read, set position and close (1-5) for
 *  sources, 6-9 for probes; a table missing one of its family's entries is
 *  skipped for that family (a table holding only 11-13 is a legitimate
 *  notification table B). A file stays with the layer that opened it until
 *  it is closed: a table installed or removed while a source is open takes
 *  effect at the next open. Entries are called on the library's threads
 *  (the read-ahead thread too), one at a time; an entry that calls back
 *  into the library gets the failure value of anything but a plain
 *  query. */
typedef struct FileIoTable {
  void *unused0;
  /** 1: open by name with create-file arguments (access, share, security,
   *  disposition, flags, template); -> handle or -1. */
  int32_t (*open)(const char *name, uint32_t access, uint32_t share, void *security, uint32_t disposition,
                  uint32_t flags, intptr_t template_file);
  /** 2: size; high 32 bits through *high when not NULL; -> low 32 bits. */
  uint32_t (*size)(int32_t handle, uint32_t *high);
  /** 3: read len bytes, count through *done; -> non-zero on success. */
  int32_t (*read)(int32_t handle, void *buf, int32_t len, int32_t *done, void *overlapped);
  /** 4: set position (origin 0/1/2); -> new low 32 bits of the position. */
  int32_t (*set_position)(int32_t handle, int32_t distance, int32_t *high, int32_t origin);
  /** 5: close. */
  int32_t (*close)(int32_t handle);
  /** 6-9: the 16-bit-compatible family. */
  int32_t (*open16)(const char *name, int32_t mode);
  int32_t (*read16)(int32_t handle, void *buf, int32_t len);
  int32_t (*seek16)(int32_t handle, int32_t offset, int32_t origin);
  int32_t (*close16)(int32_t handle);
  void *unused10;
  /** 11-13: notifications sent by commands 58, 59, 60. */
  void (*notify11)(int32_t handle);
  void (*notify12)(int32_t handle);
  void (*notify13)(int32_t handle, intptr_t param);
} FileIoTable;

/** Find data of table C's find-first entry. */
typedef struct DravikFindData {
  uint32_t attributes;
  uint32_t size_high;
  uint32_t size_low;
  char name[260];
} DravikFindData;

/** Host file table C (command 81): replaces the operating system below
 *  tables A and B, for sources and probes (families 3-5, 7, 10 and 11, 13,
 *  15, 16, by the same whole-family rule), SysFileSize (0, 2) and the
 *  extraction outputs (12, 14, 16). */
typedef struct FileIoTableC {
  /** 0: find first file -> search handle or -1; fills *data. */
  intptr_t (*find_first)(const char *name, DravikFindData *data);
  void *unused1;
  /** 2: end a search. */
  int32_t (*find_close)(intptr_t search);
  int32_t (*open)(const char *name, uint32_t access, uint32_t share, void *security, uint32_t disposition,
                  uint32_t flags, intptr_t template_file);                                  /* 3 */
  uint32_t (*size)(int32_t handle, uint32_t *high);                                         /* 4 */
  int32_t (*read)(int32_t handle, void *buf, int32_t len, int32_t *done, void *overlapped); /* 5 */
  void *unused6;
  int32_t (*set_position)(int32_t handle, int32_t distance, int32_t *high, int32_t origin); /* 7 */
  void *unused8;
  void *unused9;
  int32_t (*close)(int32_t handle);                                  /* 10 */
  int32_t (*open16)(const char *name, int32_t mode);                 /* 11 */
  int32_t (*create16)(const char *name, int32_t attribute);          /* 12 */
  int32_t (*read16)(int32_t handle, void *buf, int32_t len);         /* 13 */
  int32_t (*write16)(int32_t handle, const void *buf, int32_t len);  /* 14 */
  int32_t (*seek16)(int32_t handle, int32_t offset, int32_t origin); /* 15 */
  int32_t (*close16)(int32_t handle);                                /* 16 */
} FileIoTableC;

/** A host-supplied source (command 66). The first word points to its entry
 *  table; every entry receives the object itself first. Entries are called
 *  on the caller's thread; one that calls back into the library gets the
 *  failure value of anything but a plain query. */
typedef struct SourcePlugin SourcePlugin;
/** A picture handed out by a plug-in's slot 9: 8-bit 4:2:0 planes (Y, Cb,
 *  Cr) with their line lengths, the picture's size and its time in ms. The
 *  planes stay valid until the next call, seek or close. */
typedef struct DravikPluginPicture {
  const uint8_t *planes[3];
  int32_t pitches[3];
  int32_t width;
  int32_t height;
  int32_t time_ms;
} DravikPluginPicture;
/** Pushed sound. A plug-in whose has_audio entry answers non-zero fills
 *  slots 14 to 18 of its table: the audio engine asks the format, registers
 *  these two functions (with a context word to hand back) and starts and
 *  stops the plug-in with the output. The plug-in calls them from its own
 *  thread. */
#define DRAVIK_PUSH_RESET 0 /**< flag: drop what waits (after a seek) */
#define DRAVIK_PUSH_DATA 1  /**< flag: append length bytes of PCM */
/** data: PCM of the format slot 14 gave (8-bit unsigned or 16-bit signed
 *  little-endian, channels interleaved). A push of no bytes only wakes the
 *  reader: a plug-in that has ended calls it so that the end is seen at
 *  once. The data is copied before the call returns. */
typedef void (*DravikPushFn)(void *context, const void *data, int32_t length, int32_t flag);
/** -> the position of the pushed sound in ms; *queued (when not NULL) :=
 *  the pushed blocks still waiting to be played. */
typedef int32_t (*DravikPushClockFn)(void *context, int32_t *queued);
typedef struct SourcePluginTable {
  void *unused0;
  void *unused1;
  void (*release)(SourcePlugin *self); /* 2 */
  /** 3: file extensions separated by ';' into buf (at most capacity bytes
   *  including the NUL); non-zero if it filled the buffer. */
  int32_t (*extensions)(SourcePlugin *self, char *buf, int32_t capacity);
  /** 4: 0, 1 or 2 when the plug-in takes the source, else anything. */
  int32_t (*probe)(SourcePlugin *self, const char *path, int32_t *length);
  int32_t (*open)(SourcePlugin *self, const char *path, uint32_t start);
  void (*close)(SourcePlugin *self);        /* 6 */
  int32_t (*has_video)(SourcePlugin *self); /* 7 */
  int32_t (*has_audio)(SourcePlugin *self); /* 8 */
  /** 9: the next picture -> 1, 0 at the end (read by the video engine). */
  int32_t (*next_picture)(SourcePlugin *self, DravikPluginPicture *picture);
  void *engine10;                                                   /**< 10: reserved */
  int32_t (*size)(SourcePlugin *self);                              /* 11 */
  int32_t (*seek)(SourcePlugin *self, int32_t pos, int32_t origin); /* 12 */
  int32_t (*position)(SourcePlugin *self);                          /* 13 */
  /** 14: the pushed sound's rate (Hz), bits (8 or 16) and channels (1-8);
   *  non-zero when the plug-in pushes sound. */
  int32_t (*push_format)(SourcePlugin *self, int32_t *rate, int32_t *bits, int32_t *channels);
  /** 15: where to push, where to read the clock, and the context word. */
  void (*push_register)(SourcePlugin *self, DravikPushFn push, DravikPushClockFn clock, void *context);
  void (*push_start)(SourcePlugin *self); /* 16: output runs: push */
  void (*push_stop)(SourcePlugin *self);  /* 17: output stopped */
  /** 18: non-zero once the plug-in will push nothing more. */
  int32_t (*push_ended)(SourcePlugin *self);
} SourcePluginTable;
struct SourcePlugin {
  const SourcePluginTable *table;
};
/** The one function a plug-in library exports, by this name: a new
 *  SourcePlugin, which its release entry frees. */
#define DRAVIK_PLUGIN_FACTORY "CreateSourcePlugin"
typedef SourcePlugin *(*DravikPluginFactory)(void);

/** A subpicture collector made by command 82; owned by the library and
 *  freed by command 83. */
typedef struct StreamSink StreamSink;
/** Called with the sink's user word after a whole unit reached its target
 *  buffer. Runs in a reader's thread under the parse lock. */
typedef void (*StreamSinkCallback)(intptr_t user);
typedef struct StreamSinkTable {
  /** 0: the subpicture number this sink collects. */
  int32_t (*stream_number)(StreamSink *self);
  /** 1: user word, target buffer (at least 53220 bytes) and callback. */
  void (*set_target)(StreamSink *self, intptr_t user, void *target, StreamSinkCallback callback);
} StreamSinkTable;
struct StreamSink {
  const StreamSinkTable *table; /**< the library's private fields follow */
};

/** Request of command 65 (joining the VOB files of a title set). name is a
 *  whole path buffer of buffer_size bytes in the joined-set form above; the
 *  command fills its two int32 fields and leaves them untouched on 0. */
typedef struct DravikJoinRequest {
  char *name;
  int32_t buffer_size;
} DravikJoinRequest;

/* ------------------------------------------------------------------------ */
/* Exports (ordinal in brackets)                                             */
/* ------------------------------------------------------------------------ */

/** [31] Close the source of any kind; the source handle becomes -1. Waits
 *  until the read-ahead thread is idle. Control thread. -> 0 (ignored). */
DRAVIK_API int32_t SysClose(void);

/** [32] Switch the paths / empty parts of the state. which: 10 empty the
 *  callback queue; 20 empty the audio ring and the queue; 1 path mode 1
 *  (audio off) and empty the audio ring and the queue; 2 path mode 2 (video
 *  off) and empty the video ring and picture mark; 0 path mode 0 -> 0. Any
 *  other value is stored as path mode. -> which (0 for 0). Control thread,
 *  with the readers stopped. */
DRAVIK_API int32_t SysFlush(int32_t which);

/** [33] -> b. */
DRAVIK_API int32_t SysStubA(int32_t a, int32_t b);

/** [34] Bytes in the audio ring (stored in the library's counter). When
 *  counter is not NULL, *counter receives the address of that stored count,
 *  which stays valid for the life of the library and is refreshed on every
 *  query and after every read; the video engine reads it directly. Any
 *  thread. */
DRAVIK_API int32_t SysAudioAvail(const volatile int32_t **counter);

/** [35] -> b. */
DRAVIK_API int32_t SysStubB(int32_t a, int32_t b);

/** [36] Bytes in the video ring, with its stored counter's address through
 *  counter as for SysAudioAvail. Any thread. */
DRAVIK_API int32_t SysVideoAvail(const volatile int32_t **counter);

/** [37] Low 32 bits of the size of the named file (through file table C when
 *  installed), -1 when it does not exist or path is NULL. Any thread. */
DRAVIK_API int32_t SysFileSize(const char *path);

/** [38] Open the source that the last SysProbe classified (without a probe:
 *  the MPEG path). path is a plain NUL-terminated string (see
 *  SysOpenBuffer for the binary forms). start: DRAVIK_START_BEGIN,
 *  DRAVIK_START_RAW_VIDEO, DRAVIK_START_RAW_AUDIO, or a Video CD entry point
 *  0x00MMSSFF. -> the source handle (a descriptor, DRAVIK_HANDLE_AVI, ...)
 *  or -1; on -1 the state stays closed. Close any open source first.
 *  Control thread. */
DRAVIK_API int32_t SysOpen(const char *path, uint32_t start);

/** [39] Copy up to len MPEG audio bytes into buf (served while the selected
 *  audio id is none or 0xC0-0xDF). -> len; when the source runs dry, the
 *  remainder rounded up to a multiple of 4 (the rounding bytes are zero;
 *  never more than len), after which the ring starts afresh and the next
 *  call answers 0. 0 for a NULL buf or len <= 0, audio path off, raw video
 *  mode, an AVI or plug-in source, or another kind of audio selected. In
 *  raw audio mode the file is read directly: -> the bytes read (0 at its
 *  end). Audio engine's thread. */
DRAVIK_API int32_t SysReadAudio(void *buf, int32_t len);

/** [40] Copy up to len video elementary bytes into buf. When a picture mark
 *  is set less than len bytes ahead, the bytes up to the mark are delivered,
 *  the rest of buf is zeroed and the mark is cleared (-> len); the delivered
 *  ring bytes are zeroed in place, so the next call starts with that many
 *  zeros and then the marked code. Same remainder rule as SysReadAudio; 0
 *  for a NULL buf, video path off, raw audio mode, AVI or plug-in sources.
 *  Raw video mode reads the file directly. Video engine's decoding
 *  thread. */
DRAVIK_API int32_t SysReadVideo(void *buf, int32_t len);

/** [41] Seek the source: origin 0 from the start, 1 from the current
 *  position, 2 from the end. (0, 1) only reports the position the reader
 *  has reached. Raw-sector files snap to a sector (44 + k * 2352) and never
 *  go below the lowest start position of an entry point. -> the new
 *  position (INT32_MAX from 2 GiB on: positions are 64-bit inside, so a
 *  seek from the end or from the current position reaches them), or -1 when
 *  the source is exhausted there. Readers stopped. */
DRAVIK_API int32_t SysSeek(int32_t pos, int32_t origin);

/** [42] -> a word only SysReset writes (0). */
DRAVIK_API int32_t SysReserved42(void);

/** [43] Store item at the callback queue's write index, advance it, and make
 *  fn the queue's callback. A full queue (127 unread items) refuses the
 *  item rather than overwrite an unread one. One producer thread. */
DRAVIK_API void SysQueueCallback(DravikCallback fn, void *item);

/** [44] Run queued items through the callback until the queue is empty or
 *  budget_ms elapsed; only when the audio ring holds data (or raw audio
 *  mode), budget_ms > 0 and the audio path is on. -> elapsed ms, else 0.
 *  One consumer thread at a time (this or CTL_QUEUE_TAKE). */
DRAVIK_API int32_t SysRunCallbacks(int32_t budget_ms);

/** [45] Reset the demultiplexer state to its defaults: path mode 0, both
 *  rings, the picture mark and the callback queue empty, selected ids -1,
 *  end flag clear. A source still open is closed (its handle becomes -1).
 *  -> 0. Control thread. */
DRAVIK_API int32_t SysReset(void);

/** [46] Classify path and remember the opener SysOpen must use. path is a
 *  plain NUL-terminated string; the "Track.Player" and joined title-set
 *  forms need SysProbeBuffer. *length (when not NULL) receives the source
 *  size in bytes (AVI: duration in ms; joined sets: scaled size; INT32_MAX
 *  for 2 GiB and more). -> a SourceKind. Control thread. */
DRAVIK_API SourceKind SysProbe(const char *path, int32_t *length);

/** [47] -> DRAVIK_PACK_OVERHEAD_AVI while an AVI or plug-in source is open,
 *  else 0. */
DRAVIK_API uint32_t SysGetPackOverhead(void);

/** [48] -> 0. */
DRAVIK_API int32_t SysStubC(int32_t a, int32_t b);

/** [49] -> 0. */
DRAVIK_API int32_t SysStubD(int32_t a, int32_t b);

/** [50] Mark the first picture start code (00 00 01 00) or just past the
 *  first sequence end code (00 00 01 B7) between the video ring's read and
 *  write indexes. -> 1 when found (mark set), 0 otherwise. Decoding thread. */
DRAVIK_API int32_t SysFindPicture(void);

/** [51] Command dispatcher (enum DravikControl). Unknown numbers -> 0 and
 *  change nothing. Pointer results and parameters travel in intptr_t.
 *  Control thread unless the command's description says otherwise. */
DRAVIK_API intptr_t SysControl(int32_t cmd, intptr_t param);

/** [52] As SysReadAudio, but serves whatever audio is selected, provided id
 *  is the selected audio id (or none is selected yet). Audio thread. */
DRAVIK_API int32_t SysReadStream(int32_t id, void *buf, int32_t len);

/* AVI family [53]-[71]. Times are milliseconds. Stream handles are opaque
 * and owned by the library until SysClose. */
typedef struct DravikAviStream DravikAviStream;

/** [53] Initialise the AVI service once per process state. */
DRAVIK_API int32_t SysAviInit(void);
/** [54] Release the AVI service if initialised. */
DRAVIK_API int32_t SysAviExit(void);
/** [55] -> 0 video and audio, 1 video only, 2 audio only, 3 none / not AVI;
 *  *duration_ms (when not NULL) receives the longest stream duration. */
DRAVIK_API int32_t SysAviProbe(const char *path, int32_t *duration_ms);
/** [56] -> number of video streams kept. */
DRAVIK_API int32_t SysAviVideoCount(void);
/** [57] -> the 64-entry video stream array. */
DRAVIK_API DravikAviStream *const *SysAviVideoStreams(void);
/** [58] Select video stream index; -> its handle or NULL. */
DRAVIK_API DravikAviStream *SysAviSelectVideo(int32_t index);
/** [59] -> selected video stream, NULL when there is none. */
DRAVIK_API DravikAviStream *SysAviCurrentVideo(void);
/** [60] -> number of audio streams kept. */
DRAVIK_API int32_t SysAviAudioCount(void);
/** [61] -> the 64-entry audio stream array. */
DRAVIK_API DravikAviStream *const *SysAviAudioStreams(void);
/** [62] Select audio stream index (-1 clears); -> its handle or NULL. */
DRAVIK_API DravikAviStream *SysAviSelectAudio(int32_t index);
/** [63] -> selected audio stream or NULL. */
DRAVIK_API DravikAviStream *SysAviCurrentAudio(void);
/** [64] -> audio clock in ms, or -1. */
DRAVIK_API int32_t SysAviAudioClock(void);
/** [65] -> time of the video position in ms, or -1. */
DRAVIK_API int32_t SysAviVideoTime(void);
/** [66] -> the next video sample number, or -1 at the end. */
DRAVIK_API int32_t SysAviNextFrame(void);
/** [67] -> new video position at the next key frame, or -1. */
DRAVIK_API int32_t SysAviSkipToKey(void);
/** [68] Read audio at the audio position into buf (len bytes at most);
 *  -> bytes read, 0 at the end or on failure. */
DRAVIK_API int32_t SysAviReadAudio(void *buf, int32_t len);
/** [69] Seek to value ms (origin 0 start, 1 current, 2 end); -> target ms. */
DRAVIK_API int32_t SysAviSeek(int32_t value, int32_t origin);
/** [70] Re-align audio to the video position; -> the audio position. */
DRAVIK_API int32_t SysAviSyncAudio(void);
/** [71] -> 1 when there is no video or it reached its end, else 0. */
DRAVIK_API int32_t SysAviAtEnd(void);

/** The export with that ordinal number (31-71), NULL for any other. Cast
 *  the result to the export's own function type. Any thread. */
DRAVIK_API void *DravikProc(int ordinal);

/* Exports outside the ordinal table -------------------------------------- */

/** SysProbe for a path buffer of buffer_size bytes that may carry binary
 *  fields after the name ("Track.Player", joined title sets). The name must
 *  end with a NUL inside the buffer; a special name whose fields do not fit
 *  in the buffer is refused with SOURCE_KIND_CANNOT_OPEN. */
DRAVIK_API SourceKind SysProbeBuffer(const void *buffer, int32_t buffer_size, int32_t *length);

/** SysOpen for a sized path buffer, with the rules of SysProbeBuffer. */
DRAVIK_API int32_t SysOpenBuffer(const void *buffer, int32_t buffer_size, uint32_t start);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* DRAVIK_MEDIA_API_H */
