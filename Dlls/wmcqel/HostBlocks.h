// Blocks and result codes that the connection-manager host exchanges with the plug-in.
// Every block is packed and little-endian; pointers travel as 8 bytes on both builds.
#pragma once
#include <cstddef>
#include <cstdint>

enum : uint32_t {
  WMC_ERROR_SUCCESS = 0,
  WMC_ERROR_INVALID_PARAMETER = 1,
  WMC_ERROR_BUFFER_TOO_SMALL = 300,
};

#pragma pack(push, 1)
struct WMC_SMS_MESSAGE {
  uint32_t size;
  uint64_t message;  // pointer to the transport layer message bytes
  uint32_t length;   // capacity in, message length (or the length needed) out
  uint32_t status;   // cleared by a successful read
  uint16_t reserved;
};
#pragma pack(pop)

static_assert(sizeof(WMC_SMS_MESSAGE) == 22, "host SMS block");
static_assert(offsetof(WMC_SMS_MESSAGE, message) == 4, "host SMS block");
static_assert(offsetof(WMC_SMS_MESSAGE, length) == 12, "host SMS block");
static_assert(offsetof(WMC_SMS_MESSAGE, status) == 16, "host SMS block");
static_assert(offsetof(WMC_SMS_MESSAGE, reserved) == 20, "host SMS block");

inline uint8_t* SmsMessageBytes(const WMC_SMS_MESSAGE& block) {
  return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(block.message));
}
inline void SetSmsMessageBytes(WMC_SMS_MESSAGE& block, uint8_t* bytes) {
  block.message = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(bytes));
}
