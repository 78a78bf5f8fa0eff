// libogg and libvorbis as the Ogg Vorbis reader and decoder call them: loaded at run time
// (platform/kernel/shared_library.h), not linked, so that a program that never touches an
// Ogg file does not load them at its start. The headers still give the types. The reader
// loads the system's libraries by these names; the decoder loads the libraries its
// settings name (ogg_decoder.h) and resolves them into the same tables.
#pragma once

#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include "platform/kernel/shared_library.h"

namespace transfer {

inline constexpr char kOggLibraryName[] = "libogg.so.0";
inline constexpr char kVorbisLibraryName[] = "libvorbis.so.0";
// Only the reader's fallback for streams its page walk declines (ogg_reader.cpp).
inline constexpr char kVorbisFileLibraryName[] = "libvorbisfile.so.3";

#define TOVARIN_OGG_FUNCTIONS(X) \
  X(ogg_sync_init)               \
  X(ogg_sync_buffer)             \
  X(ogg_sync_clear)              \
  X(ogg_sync_pageout)            \
  X(ogg_sync_pageseek)           \
  X(ogg_sync_wrote)              \
  X(ogg_stream_init)             \
  X(ogg_stream_clear)            \
  X(ogg_stream_pagein)           \
  X(ogg_stream_packetout)        \
  X(ogg_page_bos)                \
  X(ogg_page_eos)                \
  X(ogg_page_granulepos)         \
  X(ogg_page_packets)            \
  X(ogg_page_serialno)

#define TOVARIN_VORBIS_FUNCTIONS(X) \
  X(vorbis_info_init)               \
  X(vorbis_info_clear)              \
  X(vorbis_info_blocksize)          \
  X(vorbis_block_init)              \
  X(vorbis_block_clear)             \
  X(vorbis_comment_init)            \
  X(vorbis_comment_clear)           \
  X(vorbis_comment_query)           \
  X(vorbis_dsp_clear)               \
  X(vorbis_synthesis_headerin)      \
  X(vorbis_synthesis_init)          \
  X(vorbis_synthesis)               \
  X(vorbis_synthesis_blockin)       \
  X(vorbis_synthesis_pcmout)        \
  X(vorbis_synthesis_read)

// Each member is the library's function of the same name.
struct OggFunctions {
  TOVARIN_OGG_FUNCTIONS(TOVARIN_LIBRARY_MEMBER)
};
struct VorbisFunctions {
  TOVARIN_VORBIS_FUNCTIONS(TOVARIN_LIBRARY_MEMBER)
};

// Fill the table from the loaded library; false when it lacks one of the functions.
bool ResolveOggFunctions(const platform::SharedLibrary& library, OggFunctions& api);
bool ResolveVorbisFunctions(const platform::SharedLibrary& library, VorbisFunctions& api);

}  // namespace transfer
