// FFmpeg's libraries loaded when first needed instead of linked:
// libavcodec alone brings some ninety libraries (every encoder it was
// built with) whose loading costs each process tens of milliseconds,
// though only AC-3 sound and the AVI decompressors use it. Files that call
// FFmpeg include this header after FFmpeg's own; every FFmpeg function
// they use then goes through the table, which loads the libraries on its
// first use.
//
// Until the libraries load (or when they are missing) every entry is a
// stand-in that does nothing and returns zero or null, so the first
// allocation or decoder lookup fails and the caller reports it as it
// reports any failed open; frees of null stay harmless.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <type_traits>

// Every FFmpeg function the engine and the AVI layer call.
#define RAZAVORI_FFMPEG_FUNCTIONS(X)      \
  X(avcodec_find_decoder)                 \
  X(avcodec_alloc_context3)               \
  X(avcodec_open2)                        \
  X(avcodec_free_context)                 \
  X(avcodec_flush_buffers)                \
  X(avcodec_send_packet)                  \
  X(avcodec_receive_frame)                \
  X(av_packet_alloc)                      \
  X(av_packet_free)                       \
  X(av_packet_unref)                      \
  X(av_parser_init)                       \
  X(av_parser_parse2)                     \
  X(av_parser_close)                      \
  X(av_frame_alloc)                       \
  X(av_frame_free)                        \
  X(av_frame_unref)                       \
  X(av_frame_move_ref)                    \
  X(av_mallocz)                           \
  X(av_dict_set)                          \
  X(av_dict_free)                         \
  X(av_opt_set_double)                    \
  X(av_channel_layout_copy)               \
  X(av_channel_layout_default)            \
  X(av_channel_layout_uninit)             \
  X(av_channel_layout_index_from_channel) \
  X(swr_alloc_set_opts2)                  \
  X(swr_init)                             \
  X(swr_convert)                          \
  X(swr_free)                             \
  X(sws_getCachedContext)                 \
  X(sws_scale)                            \
  X(sws_freeContext)

namespace platform {

namespace ffmpeg_detail {
// The stand-in of an entry: does nothing, returns zero or null.
template <class R, class... A>
R stub(A...) {
  if constexpr (!std::is_void_v<R>) return R{};
}
// The stand-in for a function of the argument's type (its value is unused).
template <class R, class... A>
constexpr auto stub_like(R (*)(A...)) -> R (*)(A...) {
  return &stub<R, A...>;
}
}  // namespace ffmpeg_detail

struct FfmpegApi {
#define RAZAVORI_FFMPEG_MEMBER(name) \
  decltype(&::name) name = ffmpeg_detail::stub_like(static_cast<decltype(&::name)>(nullptr));
  RAZAVORI_FFMPEG_FUNCTIONS(RAZAVORI_FFMPEG_MEMBER)
#undef RAZAVORI_FFMPEG_MEMBER
};

/// Loads the libraries once (any thread); true when every function above
/// was found. The table serves stand-ins otherwise.
bool ffmpeg_loaded();
/// The table, after one attempt to load.
const FfmpegApi &ffmpeg();

}  // namespace platform

#ifndef RAZAVORI_FFMPEG_LOADER
#define avcodec_find_decoder platform::ffmpeg().avcodec_find_decoder
#define avcodec_alloc_context3 platform::ffmpeg().avcodec_alloc_context3
#define avcodec_open2 platform::ffmpeg().avcodec_open2
#define avcodec_free_context platform::ffmpeg().avcodec_free_context
#define avcodec_flush_buffers platform::ffmpeg().avcodec_flush_buffers
#define avcodec_send_packet platform::ffmpeg().avcodec_send_packet
#define avcodec_receive_frame platform::ffmpeg().avcodec_receive_frame
#define av_packet_alloc platform::ffmpeg().av_packet_alloc
#define av_packet_free platform::ffmpeg().av_packet_free
#define av_packet_unref platform::ffmpeg().av_packet_unref
#define av_parser_init platform::ffmpeg().av_parser_init
#define av_parser_parse2 platform::ffmpeg().av_parser_parse2
#define av_parser_close platform::ffmpeg().av_parser_close
#define av_frame_alloc platform::ffmpeg().av_frame_alloc
#define av_frame_free platform::ffmpeg().av_frame_free
#define av_frame_unref platform::ffmpeg().av_frame_unref
#define av_frame_move_ref platform::ffmpeg().av_frame_move_ref
#define av_mallocz platform::ffmpeg().av_mallocz
#define av_dict_set platform::ffmpeg().av_dict_set
#define av_dict_free platform::ffmpeg().av_dict_free
#define av_opt_set_double platform::ffmpeg().av_opt_set_double
#define av_channel_layout_copy platform::ffmpeg().av_channel_layout_copy
#define av_channel_layout_default platform::ffmpeg().av_channel_layout_default
#define av_channel_layout_uninit platform::ffmpeg().av_channel_layout_uninit
#define av_channel_layout_index_from_channel platform::ffmpeg().av_channel_layout_index_from_channel
#define swr_alloc_set_opts2 platform::ffmpeg().swr_alloc_set_opts2
#define swr_init platform::ffmpeg().swr_init
#define swr_convert platform::ffmpeg().swr_convert
#define swr_free platform::ffmpeg().swr_free
#define sws_getCachedContext platform::ffmpeg().sws_getCachedContext
#define sws_scale platform::ffmpeg().sws_scale
#define sws_freeContext platform::ffmpeg().sws_freeContext
#endif
