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
}

int PluginSet::take(int argc, char **argv, const char *command) {
  int out = 1;
  for (int i = 1; i < argc; ++i) {
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
