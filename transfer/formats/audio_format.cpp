#include "transfer/formats/audio_format.h"

#include "device/codec.h"
#include "transfer/formats/audible/audible_reader.h"
#include "transfer/formats/flac/flac_decoder.h"
#include "transfer/formats/flac/flac_reader.h"
#include "transfer/formats/mp3/mp3_encoder.h"
#include "transfer/formats/mp3/mp3_reader.h"
#include "transfer/formats/mp3/mp3_writer.h"
#include "transfer/formats/mp4/mp4_reader.h"
#include "transfer/formats/ogg/ogg_decoder.h"
#include "transfer/formats/ogg/ogg_reader.h"
#include "transfer/formats/wav/pcm_convert.h"
#include "transfer/formats/wav/wav_reader.h"
#include "transfer/formats/wma/wm_decoder.h"
#include "transfer/formats/wma/wma_encoder.h"
#include "transfer/formats/wma/wma_reader.h"

using namespace device;

namespace transfer {

const AudioFormat* FindAudioFormat(int codec) {
  static const WavReader wavReader;
  static const Mp3Reader mp3Reader;
  static const Mp3Writer mp3Writer;
  static const WmaReader wmaReader;
  static const WmaWriter wmaWriter;
  static const FlacReader flacReader;
  static const OggReader oggReader;
  static const Mp4Reader m4aReader(kCodecM4a);
  static const Mp4Reader m4pReader(kCodecM4p);
  static const Mp4Reader m4bReader(kCodecM4b);
  static const Mp4Reader mp4Reader(kCodecMp4);
  static const AudibleReader audibleReader;
  static const WavCodec wavCodec;
  static const WmDecoder wmDecoder;  // MP3 and WMA alike
  static const Mp3Encoder mp3Encoder;
  static const WmaEncoder wmaEncoder;
  static const FlacDecoder flacDecoder;
  static const OggDecoder oggDecoder;
  static const AudioFormat kWav{"wav", &wavReader, nullptr, &wavCodec, &wavCodec};
  static const AudioFormat kMp3{"mp3", &mp3Reader, &mp3Writer, &wmDecoder, &mp3Encoder};
  static const AudioFormat kWma{"wma", &wmaReader, &wmaWriter, &wmDecoder, &wmaEncoder};
  static const AudioFormat kFlac{"flac", &flacReader, nullptr, &flacDecoder, nullptr};
  static const AudioFormat kOgg{"ogg", &oggReader, nullptr, &oggDecoder, nullptr};
  static const AudioFormat kM4a{"mp4", &m4aReader, nullptr, nullptr, nullptr};
  static const AudioFormat kM4p{"mp4", &m4pReader, nullptr, nullptr, nullptr};
  static const AudioFormat kM4b{"mp4", &m4bReader, nullptr, nullptr, nullptr};
  static const AudioFormat kMp4{"mp4", &mp4Reader, nullptr, nullptr, nullptr};
  static const AudioFormat kAudible{"audible", &audibleReader, nullptr, nullptr, nullptr};
  switch (codec) {
    case kCodecWav: return &kWav;
    case kCodecMp3: return &kMp3;
    case kCodecWma: return &kWma;
    case kCodecM4a: return &kM4a;
    case kCodecAa: return &kAudible;
    case kCodecM4p: return &kM4p;
    case kCodecM4b: return &kM4b;
    case kCodecMp4: return &kMp4;
    case kCodecOgg: return &kOgg;
    case kCodecFlac: return &kFlac;
    default: return nullptr;
  }
}

}  // namespace transfer
