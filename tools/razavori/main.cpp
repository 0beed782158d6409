// razavori: the suite's command-line tool. Each subcommand drives the engine
// libraries through their exports, as the programs do.
#include <cstdio>
#include <cstring>
#include <iterator>

#include "tools/razavori/command.h"

namespace razavori_cli {

int run_probe(int argc, char **argv);
int run_demux(int argc, char **argv);
int run_audio(int argc, char **argv);
int run_info(int argc, char **argv);
int run_video(int argc, char **argv);
int run_play(int argc, char **argv);
int run_extract(int argc, char **argv);
int run_cut(int argc, char **argv);
int run_mux(int argc, char **argv);
int run_encode_audio(int argc, char **argv);
int run_discs(int argc, char **argv);
int run_dvd(int argc, char **argv);
int run_frame(int argc, char **argv);

// Subcommands register here, one line each, in the order --help lists them.
static const Command kCommands[] = {
    {"probe", "FILE... [--plugin LIB] [--dvb CAPTURE]", "classify each file as the media library sees it",
     run_probe},
    {"demux",
     "FILE [--video OUT] [--audio OUT] [--stream ID OUT] [--list] [--track N] [--entry E] [--angle N] [--dvb "
     "CAPTURE]",
     "pull elementary streams to files", run_demux},
    {"audio",
     "FILE [--pcm OUT] [--wav OUT] [--rate-mode M] [--channel-mode M] [--stream ID] [--multichannel P "
     "[--alt]] [--passthrough]",
     "decode an audio file through the audio engine", run_audio},
    {"info", "FILE [--pictures] | FILE.avi [--index]",
     "video stream headers, and with --pictures every picture's type; an AVI's headers, with --index its "
     "index",
     run_info},
    {"video",
     "FILE [--yuv OUT] [--frames N] [--variant default|83|85] [--rgb OUT.ppm] [--subpicture N] [--overlay "
     "PIC.bmp[@X,Y[,O]]] [--plugin LIB]",
     "decode a file's pictures through the video engine", run_video},
    {"play",
     "FILE [--track N] [--entry N|MM:SS:FF] [--angle N] [--subpicture N] [--overlay PIC.bmp[@X,Y[,O]]] "
     "[--plugin LIB] [--dvb CAPTURE] [--stream ID] [--multichannel P [--alt]] [--passthrough]",
     "play a file: space pause, arrows seek, f full screen, +/- volume, s step, b benchmark, q quit",
     run_play},
    {"extract", "FILE [--out DIR] [--force]", "every elementary stream of a system stream into its own file",
     run_extract},
    {"cut", "FILE OUT (--bytes A-B | --time S-E) [--force]",
     "a piece of a file that starts at a sequence header", run_cut},
    {"mux", "VIDEO AUDIO OUT", "join video and audio elementary streams into an MPEG system stream", run_mux},
    {"encode-audio", "IN.wav OUT [--layer 1|2] [--bitrate K]", "code a WAV file as MPEG audio at 44.1 kHz",
     run_encode_audio},
    {"discs", "[--map X=PATH] [--unmap X] [--eject X] [--close X]", "mapped drives and what their discs hold",
     run_discs},
    {"dvd", "PATH|DRIVE [--title N]", "a DVD's titles, chapters and streams", run_dvd},
    {"frame", "FILE.avi MS OUT.bmp | FILE.avi --at MS[,MS...]|@LIST",
     "the AVI picture shown at MS milliseconds as a 24-bit BMP; with --at, a seek to each time and its frame",
     run_frame},
    {nullptr, nullptr, nullptr, nullptr},
};

static int print_help(FILE *out) {
  std::fprintf(out,
               "usage: razavori COMMAND [ARGS...]\n"
               "       razavori --help | --version\n\n"
               "The command-line face of the Razavori MPEG engine: probe, demultiplex and\n"
               "decode MPEG-1/MPEG-2 program streams, Video CD tracks, DVD VOB files,\n"
               "transport streams and elementary streams.\n\n"
               "FILE may be a file of a mapped drive (razavori discs): X:/MPEGAV/AVSEQ01.DAT,\n"
               "X:/VIDEO_TS/VTS_01_X.VOB (the title set's parts joined) or X: with --track N.\n\n");
  bool any = false;
  for (const Command &c : kCommands) {
    if (!c.name) continue;
    if (!any) std::fprintf(out, "commands:\n");
    any = true;
    std::fprintf(out, "  %-8s %-40s %s\n", c.name, c.usage, c.summary);
  }
  if (!any) std::fprintf(out, "commands: none yet\n");
  return 0;
}

}  // namespace razavori_cli

int main(int argc, char **argv) {
  using namespace razavori_cli;
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    print_help(stdout);
    return argc < 2 ? 2 : 0;
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::printf("razavori %s\n", RAZAVORI_VERSION);
    return 0;
  }
  for (const Command &c : kCommands) {
    if (c.name && !std::strcmp(c.name, argv[1])) return c.run(argc - 1, argv + 1);
  }
  std::fprintf(stderr, "razavori: unknown command \"%s\" (see razavori --help)\n", argv[1]);
  return 2;
}
