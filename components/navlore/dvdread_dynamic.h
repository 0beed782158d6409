// libdvdread loaded when a DVD volume is first opened instead of linked:
// every process of the suite would otherwise load and relocate it at
// start. Files that call libdvdread include this header after its own;
// every call then goes through the table.
//
// Call dvdread_loaded() before the first libdvdread call of a path; the
// entries are valid only after it returned true.
#pragma once

#include <dvdread/dvd_reader.h>

#define NAVLORE_DVDREAD_FUNCTIONS(X) \
  X(DVDOpen2)                        \
  X(DVDClose)                        \
  X(DVDOpenFile)                     \
  X(DVDCloseFile)                    \
  X(DVDFileSize)                     \
  X(DVDReadBytes)                    \
  X(DVDFileStat)

namespace navlore {

struct DvdreadApi {
#define NAVLORE_DVDREAD_MEMBER(name) decltype(&::name) name;
  NAVLORE_DVDREAD_FUNCTIONS(NAVLORE_DVDREAD_MEMBER)
#undef NAVLORE_DVDREAD_MEMBER
};

/// Loads libdvdread once (any thread); true when every function was found.
bool dvdread_loaded();
/// The table; valid only after dvdread_loaded() returned true.
const DvdreadApi &dvdread();

}  // namespace navlore

#ifndef NAVLORE_DVDREAD_LOADER
#define DVDOpen2 navlore::dvdread().DVDOpen2
#define DVDClose navlore::dvdread().DVDClose
#define DVDOpenFile navlore::dvdread().DVDOpenFile
#define DVDCloseFile navlore::dvdread().DVDCloseFile
#define DVDFileSize navlore::dvdread().DVDFileSize
#define DVDReadBytes navlore::dvdread().DVDReadBytes
#define DVDFileStat navlore::dvdread().DVDFileStat
#endif
