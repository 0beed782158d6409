#include "tools/razavori/plugin_arg.h"

#include <cstdio>
#include <cstring>

#include "media/media_api.h"

namespace razavori_cli {

PluginSet::~PluginSet() {
  // The plug-ins' code lives in the libraries: release them (which closes
  // a source one of them serves) before unloading.
  if (!libraries_.empty()) SysControl(CTL_RELEASE_PLUGINS, 0);
  libraries_.clear();
  if (dvb_loaded_) SysControl(CTL_DVB_UNLOAD, 0);
}

int PluginSet::take(int argc, char **argv, const char *command, bool dvb) {
  static char dvb_name[] = DRAVIK_DVB_NAME;
  int out = 1;
  for (int i = 1; i < argc; ++i) {
    if (dvb && std::strcmp(argv[i], "--dvb") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "razavori %s: --dvb needs a capture file or DVR device\n", command);
        return -1;
      }
      if (!dvb_loaded_ && SysControl(CTL_DVB_LOAD, 0) == 0) {
        std::fprintf(stderr, "razavori %s: cannot load the DVB library\n", command);
        return -1;
      }
      dvb_loaded_ = true;
      SysControl(CTL_DVB_CALL, reinterpret_cast<intptr_t>(argv[++i]));
      argv[out++] = dvb_name;
      continue;
    }
    if (std::strcmp(argv[i], "--plugin") != 0) {
      argv[out++] = argv[i];
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "razavori %s: --plugin needs a library\n", command);
      return -1;
    }
    const char *path = argv[++i];
    auto lib = std::make_unique<platform::DynamicLibrary>();
    if (!lib->open(path)) {
      std::fprintf(stderr, "razavori %s: cannot load plug-in %s\n", command, path);
      return -1;
    }
    auto factory = reinterpret_cast<DravikPluginFactory>(lib->symbol(DRAVIK_PLUGIN_FACTORY));
    SourcePlugin *plugin = factory ? factory() : nullptr;
    if (!plugin) {
      std::fprintf(stderr, "razavori %s: %s is no source plug-in (no %s)\n", command, path,
                   DRAVIK_PLUGIN_FACTORY);
      return -1;
    }
    SysControl(CTL_ADD_PLUGIN, reinterpret_cast<intptr_t>(plugin));
    libraries_.push_back(std::move(lib));
  }
  argv[out] = nullptr;
  return out;
}

}  // namespace razavori_cli
