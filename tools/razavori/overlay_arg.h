// --overlay PIC.bmp[@X,Y[,OPACITY]] and --subpicture N of video and play:
// the overlay picture is read from a .bmp file and handed to the engine's
// overlay routine (command 134); the subpicture stream is chosen in the
// media layer before the open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace razavori_cli {

struct OverlayArg {
  std::string path;
  int32_t x = 0, y = 0;
  int32_t opacity = 256;
  std::vector<uint8_t> bitmap;  // from the info header on
};

/// Parses the option's value; false (with a message) when it is malformed.
bool parse_overlay(const char *command, const char *value, OverlayArg *out);
/// Reads the .bmp; false (with a message naming the cause) when it cannot
/// be used.
bool load_overlay(const char *command, OverlayArg *arg);
/// After VideoStartup: hands the picture to the engine. False when the
/// engine refuses it.
bool install_overlay(const char *command, const OverlayArg &arg);
/// Parses a subpicture stream number 0-31 or id 0x20-0x3F; -1 when bad.
int32_t parse_subpicture(const char *value);
/// Before the open: delivers that stream and mixes it into held pictures.
void choose_subpicture(int32_t number);

}  // namespace razavori_cli
