#include "tests/audio/engine/push_plugin.h"

#include <utility>

namespace lunaret_test {

namespace {

PushPlugin *me(SourcePlugin *p) { return static_cast<PushPlugin *>(p); }

int32_t has_video(SourcePlugin *) { return 0; }
int32_t has_audio(SourcePlugin *p) { return me(p)->has_audio ? 1 : 0; }
int32_t push_format(SourcePlugin *p, int32_t *rate, int32_t *bits, int32_t *channels) {
  *rate = me(p)->rate;
  *bits = me(p)->bits;
  *channels = me(p)->channels;
  return me(p)->format_answer;
}
void push_register(SourcePlugin *p, DravikPushFn push, DravikPushClockFn clock, void *context) {
  me(p)->push = push;
  me(p)->clock = clock;
  me(p)->context = context;
}
void push_start(SourcePlugin *p) { ++me(p)->starts; }
void push_stop(SourcePlugin *p) { ++me(p)->stops; }
int32_t push_ended(SourcePlugin *p) { return me(p)->ended ? 1 : 0; }

const SourcePluginTable kTable = {
    nullptr,     nullptr,       nullptr,    nullptr,   nullptr,    nullptr, nullptr,
    has_video,   has_audio,     nullptr,    nullptr,   nullptr,    nullptr, nullptr,
    push_format, push_register, push_start, push_stop, push_ended,
};

}  // namespace

PushPlugin::PushPlugin() : SourcePlugin{&kTable} {}

PushPlugin::~PushPlugin() { join(); }

void PushPlugin::push_now(const std::vector<uint8_t> &block, int32_t flag) {
  push(context, block.data(), static_cast<int32_t>(block.size()), flag);
}

void PushPlugin::push_from_thread(std::vector<std::vector<uint8_t>> blocks, bool end) {
  join();
  thread_ = std::thread([this, blocks = std::move(blocks), end] {
    for (const auto &b : blocks) push_now(b);
    if (end) {
      ended = true;
      push(context, nullptr, 0, DRAVIK_PUSH_DATA);
    }
  });
}

void PushPlugin::join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace lunaret_test
