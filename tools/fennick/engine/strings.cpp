#include "tools/fennick/engine/strings.h"

namespace fennick {

const char *EngineString(int32_t id) {
  switch (id) {
    case kStrOutputFromTo:
      return "Output From %s to %s";
    case kStrFailure:
      return "Failure to output!";
    case kStrSuccess:
      return "Success to output!";
    case kStrProcessing:
      return "System is processing , please wait for a little... ...!";
    case kStrNotFinished:
      return "Succeded ,but NOT finished to output!";
    case kStrQuitting:
      return "System is int process of quiting , please wait for a little... ...!";
    default:
      return "";
  }
}

std::string FormatStatus(const StatusMessage &message) {
  std::string out;
  size_t next_arg = 0;
  for (const char *p = EngineString(message.string_id); *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      if (next_arg < message.args.size()) out += message.args[next_arg];
      ++next_arg;
      ++p;
    } else {
      out += *p;
    }
  }
  if (!message.reason.empty()) {
    out += out.empty() ? "" : " ";
    out += message.reason;
  }
  return out;
}

}  // namespace fennick
