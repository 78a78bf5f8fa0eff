// FFmpeg's functions as the media stand-ins call them: resolved from the libraries at run
// time (platform/media/codec_library.h), so a computer without FFmpeg reports the media
// runtime missing. Only the stand-ins in this folder include this.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "platform/kernel/shared_library.h"

namespace platform {

#define TOVARIN_AVUTIL_FUNCTIONS(X) \
  X(av_frame_alloc)                 \
  X(av_frame_free)                  \
  X(av_frame_unref)                 \
  X(av_frame_get_buffer)            \
  X(av_frame_make_writable)         \
  X(av_channel_layout_default)      \
  X(av_channel_layout_uninit)       \
  X(av_channel_layout_copy)         \
  X(av_log_set_level)               \
  X(av_rescale_q)                   \
  X(av_get_bytes_per_sample)

#define TOVARIN_SWRESAMPLE_FUNCTIONS(X) \
  X(swr_alloc_set_opts2)                \
  X(swr_init)                           \
  X(swr_convert)                        \
  X(swr_get_out_samples)                \
  X(swr_free)

#define TOVARIN_AVCODEC_FUNCTIONS(X)  \
  X(avcodec_find_decoder)             \
  X(avcodec_find_encoder)             \
  X(avcodec_alloc_context3)           \
  X(avcodec_free_context)             \
  X(avcodec_parameters_to_context)    \
  X(avcodec_parameters_from_context)  \
  X(avcodec_open2)                    \
  X(avcodec_send_packet)              \
  X(avcodec_receive_frame)            \
  X(avcodec_send_frame)               \
  X(avcodec_receive_packet)           \
  X(av_packet_alloc)                  \
  X(av_packet_free)                   \
  X(av_packet_unref)                  \
  X(av_packet_rescale_ts)

#define TOVARIN_AVFORMAT_FUNCTIONS(X) \
  X(avformat_open_input)              \
  X(avformat_find_stream_info)        \
  X(av_find_best_stream)              \
  X(av_read_frame)                    \
  X(avformat_close_input)             \
  X(avformat_alloc_output_context2)   \
  X(avformat_new_stream)              \
  X(avio_open)                        \
  X(avio_closep)                      \
  X(avformat_write_header)            \
  X(av_interleaved_write_frame)       \
  X(av_write_trailer)                 \
  X(avformat_free_context)

struct FfmpegApi {
  TOVARIN_AVUTIL_FUNCTIONS(TOVARIN_LIBRARY_MEMBER)
  TOVARIN_SWRESAMPLE_FUNCTIONS(TOVARIN_LIBRARY_MEMBER)
  TOVARIN_AVCODEC_FUNCTIONS(TOVARIN_LIBRARY_MEMBER)
  TOVARIN_AVFORMAT_FUNCTIONS(TOVARIN_LIBRARY_MEMBER)
};

// The functions, resolved once the four libraries load; null when one of them or one of
// the functions is missing (asked again next time). FFmpeg's own log is kept quiet.
const FfmpegApi* LoadFfmpeg();

// Only libavutil and libswresample: enough for PCM conversion.
const FfmpegApi* LoadResampler();

}  // namespace platform
