#include "device/request_block.h"

#include <cstring>

namespace device {

DeviceRequestBlock::DeviceRequestBlock() {
  std::memset(static_cast<void*>(this), 0, sizeof(*this));
  Clear();
}

void DeviceRequestBlock::Clear() {
  connectionId = KernelId();
  segmentId = KernelId();
  itemArg1 = KernelId();
  itemArg2 = KernelId();
  itemArg3 = KernelId();
  for (FixedString256* t : {&textResult, &textArg1, &textArg2, &textArg3, &errorTitle,
                            &errorDetail, &messageText, &replyText}) {
    t->Clear();
  }
  trackArg.Clear();
  contactArg.Clear();
}

}  // namespace device
