// The export table's check order, with every block placed against a no-access page; the
// callback slots, the error texts and the answers of the stubs.
#include <functional>

#include "GuardedBlock.h"
#include "NetworkErrors.h"
#include "PluginFixture.h"

namespace {

using namespace plugintest;

constexpr int kNone = -1000;  // the column does not apply
struct ExportRow {
  const char* name;
  std::function<int(void*)> call;
  uint32_t minimum;  // 0: no block
  int nullResult, shortResult, noEngine, withEngine;
  std::function<void(void*)> prepare = nullptr;
};

uint8_t g_smsBytes[8];

std::vector<ExportRow> Rows() {
  auto withBytes = [](void* b) { SetSmsMessageBytes(*static_cast<WMC_SMS_MESSAGE*>(b), g_smsBytes); };
  auto manual = [](void* b) {
    auto* a = static_cast<WMC_ACTIVATION_INFO*>(b);
    a->type = 0;
    std::memset(a->spc, 0, sizeof a->spc);
    a->prlLength = 0;
    a->prl = 0;
  };
  auto upgradeProgram = [](void* b) {
    std::string program = RootBin() + "exitwith.exe";
    lstrcpynA(static_cast<WMC_UPGRADE_INFO*>(b)->programPath, program.c_str(), 260);
  };
  return {
      // Manual programming with the marker left in the unterminated MDN and MIN fields.
      {"WMC_Activate", [](void* b) { return WMC_Activate(static_cast<WMC_ACTIVATION_INFO*>(b)); }, 124, 1, 300, 107, 0,
       manual},
      {"WMC_ChangeLockCode", [](void*) { return WMC_ChangeLockCode("1", "2"); }, 0, kNone, kNone, 107, 0},
      {"WMC_CheckForUpgrade", [](void* b) { return WMC_CheckForUpgrade(static_cast<WMC_UPGRADE_INFO*>(b)); }, 528, 1, 300, 107, 0},
      {"WMC_ClearCallEntries", [](void*) { return WMC_ClearCallEntries(0); }, 0, kNone, kNone, 107, 103},
      {"WMC_DeleteAllMessages", [](void*) { return WMC_DeleteAllMessages(0); }, 0, kNone, kNone, 107, 0},
      {"WMC_DeleteContact", [](void*) { return WMC_DeleteContact(nullptr); }, 0, kNone, kNone, 103, 103},
      {"WMC_DeleteEvent", [](void*) { return WMC_DeleteEvent(nullptr); }, 0, kNone, kNone, 103, 103},
      {"WMC_DeleteMessage", [](void*) { return WMC_DeleteMessage(1); }, 0, kNone, kNone, 107, 0},
      {"WMC_GetBatteryInfo", [](void* b) { return WMC_GetBatteryInfo(static_cast<WMC_BATTERY_INFO*>(b)); }, 12, 1, 300, 107, 0},
      {"WMC_GetCallEntryCount", [](void*) { return WMC_GetCallEntryCount(nullptr); }, 0, kNone, kNone, 0, 0},
      {"WMC_GetConnectionInfo", [](void* b) { return WMC_GetConnectionInfo(static_cast<WMC_CONNECTION_INFO*>(b)); }, 32, 1, 300, 107, 0},
      {"WMC_GetContact", [](void* b) { return WMC_GetContact(0, static_cast<WMC_CONTACT*>(b)); }, 16, 1, 300, 107, 103},
      {"WMC_GetDeviceInfo", [](void* b) { return WMC_GetDeviceInfo(static_cast<WMC_DEVICE_INFO*>(b)); }, 548, 1, 300, 107, 0},
      {"WMC_GetEvent", [](void*) { return WMC_GetEvent(nullptr); }, 0, kNone, kNone, 103, 103},
      {"WMC_GetFieldSizes", [](void* b) { return WMC_GetFieldSizes(static_cast<WMC_FIELD_SIZES*>(b)); }, 34, 1, 300, 103, 103},
      {"WMC_GetFirstCallEntry", [](void* b) { return WMC_GetFirstCallEntry(0, static_cast<WMC_CALL_ENTRY*>(b)); }, 84, 1, 300, 107, 103},
      {"WMC_GetFirstMessage", [](void* b) { return WMC_GetFirstMessage(0, static_cast<WMC_SMS_MESSAGE*>(b)); }, 22, 1, 300, 107, 301},
      {"WMC_GetGroup", [](void* b) { return WMC_GetGroup(0, static_cast<WMC_GROUP*>(b)); }, 72, 1, 300, 107, 103},
      {"WMC_GetLocationInfo", [](void*) { return WMC_GetLocationInfo(nullptr); }, 0, kNone, kNone, 103, 103},
      {"WMC_GetMessageCount", [](void*) { return WMC_GetMessageCount(0); }, 0, kNone, kNone, 0, 0},
      {"WMC_GetNetworkErrorString", [](void* b) { return WMC_GetNetworkErrorString(1000, static_cast<char*>(b), 8); }, 8, 1, kNone, 0, 0},
      {"WMC_GetNetworkInfo", [](void* b) { return WMC_GetNetworkInfo(static_cast<WMC_NETWORK_INFO*>(b)); }, 80, 1, 300, 107, 0},
      {"WMC_GetNextCallEntry", [](void* b) { return WMC_GetNextCallEntry(static_cast<WMC_CALL_ENTRY*>(b)); }, 84, 1, 300, 107, 103},
      {"WMC_GetNextMessage", [](void* b) { return WMC_GetNextMessage(static_cast<WMC_SMS_MESSAGE*>(b)); }, 22, 1, 300, 107, 104},
      {"WMC_GetParameters", [](void* b) { return WMC_GetParameters(static_cast<WMC_PARAMETERS*>(b)); }, 14, 1, 300, 107, 0},
      {"WMC_GetPictureID", [](void* b) { return WMC_GetPictureID(0, static_cast<WMC_GROUP*>(b)); }, 72, 1, 300, 107, 103},
      {"WMC_GetRingerID", [](void* b) { return WMC_GetRingerID(0, static_cast<WMC_GROUP*>(b)); }, 72, 1, 300, 107, 103},
      {"WMC_PlayRingerID", [](void*) { return WMC_PlayRingerID(nullptr); }, 0, kNone, kNone, 103, 103},
      {"WMC_ResetFactoryDefaults", [](void*) { return WMC_ResetFactoryDefaults(nullptr); }, 0, kNone, kNone, 107, 0},
      {"WMC_SaveMessage", [](void*) { return WMC_SaveMessage(nullptr); }, 0, kNone, kNone, 107, 103},
      {"WMC_SendMessage", [](void* b) { return WMC_SendMessage(static_cast<WMC_SMS_MESSAGE*>(b)); }, 22, 1, 300, 107,
       1, withBytes},
      {"WMC_SetContact", [](void* b) { return WMC_SetContact(0, static_cast<WMC_CONTACT*>(b)); }, 16, 1, 300, 107, 103},
      {"WMC_SetEvent", [](void*) { return WMC_SetEvent(nullptr); }, 0, kNone, kNone, 103, 103},
      {"WMC_SetLocationMode", [](void*) { return WMC_SetLocationMode(nullptr); }, 0, kNone, kNone, 103, 103},
      // The code that WMC_ChangeLockCode's row gave the modem.
      {"WMC_SetLock", [](void*) { return WMC_SetLock(1, "2"); }, 0, kNone, kNone, 107, 0},
      {"WMC_SetMessageStatus", [](void*) { return WMC_SetMessageStatus(nullptr); }, 0, kNone, kNone, 107, 103},
      {"WMC_SetParameters", [](void* b) { return WMC_SetParameters(static_cast<WMC_PARAMETERS*>(b)); }, 14, 1, 300, 107, 1},
      {"WMC_SetPowerState", [](void*) { return WMC_SetPowerState(nullptr); }, 0, kNone, kNone, 103, 103},
      {"WMC_SetRadioPower", [](void*) { return WMC_SetRadioPower(1); }, 0, kNone, kNone, 107, 0},
      {"WMC_Upgrade", [](void* b) { return WMC_Upgrade(static_cast<WMC_UPGRADE_INFO*>(b)); }, 528, 1, 300, 0, 0,
       upgradeProgram},
  };
}

bool WritesOnSuccess(const char* name) {
  return std::strcmp(name, "WMC_GetBatteryInfo") == 0 || std::strcmp(name, "WMC_GetFieldSizes") == 0 ||
         std::strcmp(name, "WMC_GetNetworkErrorString") == 0 || std::strcmp(name, "WMC_GetParameters") == 0 ||
         std::strcmp(name, "WMC_CheckForUpgrade") == 0 || std::strcmp(name, "WMC_GetConnectionInfo") == 0 ||
         std::strcmp(name, "WMC_GetNetworkInfo") == 0 || std::strcmp(name, "WMC_GetDeviceInfo") == 0;
}

TEST_F(PluginTest, EveryExportChecksInItsOrder) {
  for (int withEngine = 0; withEngine < 2; ++withEngine) {
    if (withEngine) {
      ASSERT_EQ(WMC_Startup(), 0);
    }
    for (const ExportRow& row : Rows()) {
      SCOPED_TRACE(std::string(row.name) + (withEngine ? " with engine" : " without engine"));
      if (row.nullResult != kNone) {
        EXPECT_EQ(row.call(nullptr), row.nullResult);
      }
      if (row.shortResult != kNone) {
        GuardedBlock small(row.minimum - 1, row.prepare);
        EXPECT_EQ(row.call(small.get()), row.shortResult);
        EXPECT_TRUE(small.Unchanged());
      }
      GuardedBlock exact(row.minimum ? row.minimum : 4, row.prepare);
      int want = withEngine ? row.withEngine : row.noEngine;
      EXPECT_EQ(row.call(exact.get()), want);
      if (!WritesOnSuccess(row.name)) {
        EXPECT_TRUE(exact.Unchanged());
      }
    }
  }
}

TEST_F(PluginTest, StartupRunningExportsWithoutAnEngine) {
  client_->powerState = 3;  // disabled: the start-up leaves no engine
  WMC_NDIS_MODE mode{8, 0};
  EXPECT_EQ(WMC_SetPower(1), WMC_ERROR_NOT_STARTED);
  EXPECT_EQ(WMC_SetNDISMode(&mode), WMC_ERROR_NOT_STARTED);
  EXPECT_EQ(WMC_GetNDISMode(&mode), WMC_ERROR_NOT_STARTED);
  client_->powerState = 1;
  EXPECT_EQ(WMC_GetNDISMode(&mode), WMC_ERROR_NOT_SUPPORTED);  // started it
  EXPECT_NE(Engine(), nullptr);
}

TEST_F(PluginTest, BatteryAndFieldSizesAnswers) {
  GuardedBlock sizes(34);
  EXPECT_EQ(WMC_GetFieldSizes(static_cast<WMC_FIELD_SIZES*>(sizes.get())), 103);
  EXPECT_EQ(sizes.At(26), 1u);
  ASSERT_EQ(WMC_Startup(), 0);
  GuardedBlock battery(12);
  EXPECT_EQ(WMC_GetBatteryInfo(static_cast<WMC_BATTERY_INFO*>(battery.get())), 0);
  EXPECT_EQ(battery.At(4), 2u);
  EXPECT_EQ(battery.At(8), 0u);
  EXPECT_EQ(battery.At(0), 12u);
}

TEST_F(PluginTest, BoxesAndMessageExceptions) {
  GuardedBlock entry(84), message(22);
  EXPECT_EQ(WMC_GetFirstCallEntry(4, static_cast<WMC_CALL_ENTRY*>(entry.get())), 1);
  EXPECT_EQ(WMC_GetFirstCallEntry(-1, static_cast<WMC_CALL_ENTRY*>(entry.get())), 1);
  EXPECT_EQ(WMC_ClearCallEntries(4), 1);
  EXPECT_EQ(WMC_GetFirstMessage(2, static_cast<WMC_SMS_MESSAGE*>(message.get())), 103);  // before the engine check
  EXPECT_EQ(WMC_DeleteAllMessages(2), 107);  // after it
  EXPECT_EQ(WMC_GetMessageCount(5), 0);
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_->sms.storeOn = 1;  // the modem holds one message
  sdk_->sms.count = 1;
  EXPECT_EQ(WMC_GetMessageCount(0), 1);
  EXPECT_EQ(WMC_GetMessageCount(2), 0);
  EXPECT_EQ(WMC_DeleteAllMessages(4), 1);
  EXPECT_EQ(WMC_DeleteAllMessages(3), 103);
  EXPECT_EQ(WMC_SetLock(1, nullptr), 1);
  EXPECT_EQ(WMC_ChangeLockCode("1", nullptr), 1);
  EXPECT_EQ(WMC_ChangeLockCode(nullptr, "2"), 1);
  WMC_SMS_MESSAGE noBytes{22, 0, 0, 0, 0};
  EXPECT_EQ(WMC_SendMessage(&noBytes), 1);
  Engine()->connection_.state = WMC_STATE_CONNECTED;
  GuardedBlock activation(124);
  EXPECT_EQ(WMC_Activate(static_cast<WMC_ACTIVATION_INFO*>(activation.get())), 102);
  EXPECT_EQ(WMC_ChangeLockCode("1", "2"), 102);
}

struct CallbackCase {
  int index;
  bool fn;
  int remove;
  int want;
};
void __cdecl OtherCallback(int) {}

TEST_F(PluginTest, CallbackSlots) {
  EXPECT_EQ(WMC_SetCallback(5, CaptureNotification, 0), 0);
  EXPECT_EQ(WMC_SetCallback(5, OtherCallback, 0), 0);
  EXPECT_EQ(g_hostCallbacks.slots[5].load(), &CaptureNotification);  // the first stays
  EXPECT_EQ(WMC_SetCallback(5, nullptr, 1), 1);
  EXPECT_EQ(g_hostCallbacks.slots[5].load(), &CaptureNotification);
  EXPECT_EQ(WMC_SetCallback(5, OtherCallback, 1), 0);  // any function clears it
  EXPECT_EQ(g_hostCallbacks.slots[5].load(), nullptr);
  for (CallbackCase c : {CallbackCase{16, true, 0, 1}, CallbackCase{-1, true, 0, 1}, CallbackCase{15, true, 0, 0},
                         CallbackCase{0, false, 0, 1}})
    EXPECT_EQ(WMC_SetCallback(c.index, c.fn ? OtherCallback : nullptr, c.remove), c.want) << c.index;
}

TEST_F(PluginTest, FieldTestSlot) {
  auto fn = [](const char*, int) {};
  WMC_FIELDTEST_CALLBACK f = fn;
  EXPECT_EQ(WMC_SetFieldTest(1, f), 0);
  EXPECT_EQ(g_hostCallbacks.fieldTest.load(), f);
  EXPECT_EQ(WMC_SetFieldTest(1, nullptr), 1);
  EXPECT_EQ(g_hostCallbacks.fieldTest.load(), nullptr);
  EXPECT_EQ(WMC_SetFieldTest(0, nullptr), 0);
}

struct TextCase {
  int code;
  int max;
  int want;
  const char* text;  // null: buffer untouched
};
class ErrorString : public ::testing::TestWithParam<TextCase> {};
TEST_P(ErrorString, CopiesTheTextBounded) {
  const TextCase& c = GetParam();
  char buffer[128];
  std::memset(buffer, 'Q', sizeof buffer);
  EXPECT_EQ(WMC_GetNetworkErrorString(c.code, buffer, c.max), c.want);
  if (c.text) {
    EXPECT_STREQ(buffer, c.text);
  } else {
    for (char ch : buffer) {
      ASSERT_EQ(ch, 'Q');
    }
  }
}
INSTANTIATE_TEST_SUITE_P(Table, ErrorString, ::testing::Values(
    TextCase{1025, 3, 0, "Fa"}, TextCase{1025, 128, 0, "Fade"}, TextCase{42, 128, 0, "DADER5 - Error 42"},
    TextCase{1000, 128, 0, "Call origination - No Service"},
    TextCase{1031, 128, 0, "Voice call terminated in favor of GPS fix"}, TextCase{1032, 128, 0, "DADER5 - Error 1032"},
    TextCase{-5, 128, 0, "DADER5 - Error -5"}, TextCase{1025, 1, 0, ""}, TextCase{1025, 0, 1, nullptr},
    TextCase{1025, -1, 1, nullptr}));

TEST(ErrorText, EveryCallEndCodeHasItsOwnText) {
  for (int code = 1000; code <= 1031; ++code) EXPECT_EQ(NetworkErrorText(code).find("DADER5"), std::string::npos);
  EXPECT_EQ(NetworkErrorText(1020), "Release - Fade");
}

}  // namespace
