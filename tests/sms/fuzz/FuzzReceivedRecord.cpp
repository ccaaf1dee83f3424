// Any received record (its bytes, then the user data buffer's) to host message bytes.
#include <algorithm>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CNS_SMS_RECEIVED record{};
  const size_t head = size < sizeof record ? size : sizeof record;
  std::memcpy(&record, data, head);
  // The SDK writes into the engine's own buffer of 240 bytes; a zero pointer stays null.
  Bytes buffer(kSmsReceivedBufferSize, 0);
  if (size > head) std::memcpy(buffer.data(), data + head, std::min(buffer.size(), size - head));
  if (record.userData != 0) SetSmsUserData(record, buffer.data());

  const Bytes encoded = EncodeChecked(record);
  const uint32_t t = record.params.teleservice;
  const bool decodable = (record.params.flags & SMS_FLAG_ADDRESS) && (t == 0 || t == 1 || t == 2 || t == 7);
  if (decodable) CheckSettles(encoded);
  return 0;
}
