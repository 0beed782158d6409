// The converter engine's status texts: ids of the program's string table
// with their English texts as designed (the window translates them by id).
#pragma once

#include <cstdint>
#include <string>

#include "tools/fennick/engine/job_types.h"

namespace fennick {

enum StringId : int32_t {
  kStrOutputFromTo = 43,  ///< "Output From %s to %s"
  kStrFailure = 45,       ///< "Failure to output!"
  kStrSuccess = 47,       ///< "Success to output!"
  kStrProcessing = 49,    ///< "System is processing , please wait ..."
  kStrNotFinished = 51,   ///< "Succeded ,but NOT finished to output!"
  kStrQuitting = 53       ///< "System is int process of quiting , ..."
};

/// The English text of a string id (empty for ids the engine does not use).
const char *EngineString(int32_t id);

/// The message's text with its %s arguments filled in order (missing ones
/// stay empty) and its reason appended after ": " when present.
std::string FormatStatus(const StatusMessage &message);

}  // namespace fennick
