// Host message bytes to a send record and back to bytes.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SmsSendRecord record;
  if (DecodeHost(Bytes(data, data + size), record) != 1) return 0;
  FUZZ_CHECK(record->params.addressCount <= kSmsMaxAddressChars);
  FUZZ_CHECK(record->params.subaddressCount <= kSmsMaxAddressChars);
  FUZZ_CHECK(record->params.callbackCount <= kSmsMaxCallbackDigits);
  FUZZ_CHECK(record->userDataCount <= 255u);
  FUZZ_CHECK((record->userDataCount == 0) == (SmsUserData(*record) == nullptr));
  Bytes userData;
  CheckSettles(EncodeChecked(ReceivedFrom(*record, userData)));
  return 0;
}
