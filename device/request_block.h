// The request block through which one device operation travels between processes. It
// lives in a named file mapping shared by every process, and also inside each
// KernelDevice for the requests it runs itself. No pointers; layout binding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "device/kernel_id.h"
#include "device/records.h"

namespace device {

struct DeviceRequestBlock {
  static constexpr std::size_t kNoteTextSize = 4100;
  static constexpr std::size_t kNoteTextMaxBytes = kNoteTextSize - 1;  // the most of a note that goes across
  static constexpr std::size_t kNoteTextCleared = 4096;

  std::uint32_t deviceIndex;        // the manager runs a request only for device 0
  KernelId connectionId;            // device id given to the proxy at connection
  KernelId segmentId;               // second id given at connection (storage segment)
  std::int32_t opcode;
  std::int32_t intResult;
  FixedString256 textResult;
  std::int32_t intArg1;
  std::int32_t intArg2;
  FixedString256 textArg1;          // also an output area for some operations
  FixedString256 textArg2;
  FixedString256 textArg3;
  KernelId itemArg1;                // item argument or item result
  KernelId itemArg2;
  KernelId itemArg3;                // no operation uses it
  std::uint32_t flags;              // reserved; 0 after every operation
  std::int32_t errorCode;           // nonzero: the operation failed; the proxy raises it
  FixedString256 errorTitle;
  FixedString256 errorDetail;
  std::uint32_t messageFlag;        // nonzero: show messageText as an information message
  FixedString256 messageText;
  std::int32_t replyCode;           // status code left by a failed operation
  FixedString256 replyText;         // its description
  std::uint32_t extraWaitMs;        // reserved
  std::uint32_t windowArg;          // window handle argument
  TrackRecord trackArg;
  std::uint32_t callerThreadId;     // informative
  char noteText[kNoteTextSize];     // note body, NUL-terminated
  ContactRecord contactArg;

  // Every byte zero, then Clear.
  DeviceRequestBlock();

  // Empties the ids, the eight text fields, the track and the contact record. The number
  // fields are left: each request sets its own.
  void Clear();
};

static_assert(std::is_standard_layout_v<DeviceRequestBlock>);
static_assert(sizeof(DeviceRequestBlock) == 17344);
static_assert(offsetof(DeviceRequestBlock, deviceIndex) == 0);
static_assert(offsetof(DeviceRequestBlock, connectionId) == 4);
static_assert(offsetof(DeviceRequestBlock, segmentId) == 280);
static_assert(offsetof(DeviceRequestBlock, opcode) == 556);
static_assert(offsetof(DeviceRequestBlock, intResult) == 560);
static_assert(offsetof(DeviceRequestBlock, textResult) == 564);
static_assert(offsetof(DeviceRequestBlock, intArg1) == 828);
static_assert(offsetof(DeviceRequestBlock, intArg2) == 832);
static_assert(offsetof(DeviceRequestBlock, textArg1) == 836);
static_assert(offsetof(DeviceRequestBlock, textArg2) == 1100);
static_assert(offsetof(DeviceRequestBlock, textArg3) == 1364);
static_assert(offsetof(DeviceRequestBlock, itemArg1) == 1628);
static_assert(offsetof(DeviceRequestBlock, itemArg2) == 1904);
static_assert(offsetof(DeviceRequestBlock, itemArg3) == 2180);
static_assert(offsetof(DeviceRequestBlock, flags) == 2456);
static_assert(offsetof(DeviceRequestBlock, errorCode) == 2460);
static_assert(offsetof(DeviceRequestBlock, errorTitle) == 2464);
static_assert(offsetof(DeviceRequestBlock, errorDetail) == 2728);
static_assert(offsetof(DeviceRequestBlock, messageFlag) == 2992);
static_assert(offsetof(DeviceRequestBlock, messageText) == 2996);
static_assert(offsetof(DeviceRequestBlock, replyCode) == 3260);
static_assert(offsetof(DeviceRequestBlock, replyText) == 3264);
static_assert(offsetof(DeviceRequestBlock, extraWaitMs) == 3528);
static_assert(offsetof(DeviceRequestBlock, windowArg) == 3532);
static_assert(offsetof(DeviceRequestBlock, trackArg) == 3536);
static_assert(offsetof(DeviceRequestBlock, callerThreadId) == 6004);
static_assert(offsetof(DeviceRequestBlock, noteText) == 6008);
static_assert(offsetof(DeviceRequestBlock, contactArg) == 10108);

}  // namespace device
