/* The audio engine's public header compiles alone, as C, and its records
   keep the layout the header documents. */
#include <stddef.h>

#include "audio/audio_api.h"

_Static_assert(sizeof(AudioScopePair) == 8, "scope pair is two int32");
_Static_assert(sizeof(AudioTimingRun) == 20, "timing run is five int32");
_Static_assert(sizeof(AudioSpeakerLayout) == 36, "speaker layout is nine int32");
_Static_assert(offsetof(AudioWaveHeader, buffer_length) == sizeof(void *), "header layout");
_Static_assert(offsetof(AudioWaveHeader, flags) == 3 * sizeof(void *), "header layout");
_Static_assert(offsetof(AudioWaveHeader, next) == 4 * sizeof(void *), "header layout");

int main(void) {
  intptr_t (*command)(int32_t, intptr_t) = AudioCommand;
  void *(*lookup)(int32_t) = LunaretProc;
  return (command != 0 && lookup != 0 && AUDIO_CMD_DECODE_BLOCK == 4 && AUDIO_TAG_AVI == 0x46495641) ? 0 : 1;
}
