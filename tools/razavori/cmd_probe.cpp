// razavori probe FILE...: what the media library makes of each file.
#include <cstdio>

#include "media/media_api.h"
#include "tools/razavori/command.h"
#include "tools/razavori/input_reason.h"
#include "tools/razavori/plugin_arg.h"
#include "tools/razavori/source_arg.h"

namespace razavori_cli {

namespace {

const char *kind_name(SourceKind kind) {
  switch (kind) {
    case SOURCE_KIND_SYSTEM:
      return "system stream";
    case SOURCE_KIND_VIDEO:
      return "video only";
    case SOURCE_KIND_AUDIO:
      return "audio only";
    case SOURCE_KIND_NOTHING:
      return "nothing playable";
    default:
      return "cannot open";
  }
}

}  // namespace

int run_probe(int argc, char **argv) {
  SourceArg options;
  PluginSet plugins;
  argc = plugins.take(argc, argv, "probe", true);
  if (argc < 0) return 2;
  argc = strip_disc_options(argc, argv, &options, "probe");
  if (argc < 0) return 2;
  if (argc < 2) {
    std::fprintf(stderr, "usage: razavori probe FILE... [--track N] [--plugin LIB] [--dvb CAPTURE]\n");
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    SourceArg arg = options;
    arg.file = argv[i];
    if (!resolve_or_say(&arg, "probe")) {
      status = 1;
      continue;
    }
    int32_t length = 0;
    SourceKind kind = SysProbeBuffer(arg.name(), arg.size(), &length);
    std::printf("%s: %d %s, length %d", argv[i], static_cast<int>(kind), kind_name(kind),
                static_cast<int>(length));
    if (kind == SOURCE_KIND_AUDIO) {
      std::printf(", header 0x%04X", static_cast<unsigned>(SysControl(CTL_AUDIO_HEADER, 0) & 0xFFFF));
    }
    if (kind == SOURCE_KIND_CANNOT_OPEN) {
      if (const char *reason = input_failure_reason(argv[i])) std::printf(" (%s)", reason);
    }
    std::printf("\n");
    if (kind < SOURCE_KIND_SYSTEM || kind > SOURCE_KIND_AUDIO) status = 1;
  }
  return status;
}

}  // namespace razavori_cli
