// Host messages to send records and received records back to host messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "SmsVectors.h"

namespace {

std::vector<HostVector> Accepted(bool canonicalOnly) {
  std::vector<HostVector> out;
  for (const HostVector& v : HostVectors())
    if (v.accepted && (v.canonical || !canonicalOnly)) out.push_back(v);
  return out;
}

std::string VectorName(const ::testing::TestParamInfo<HostVector>& info) { return info.param.name; }

class HostMessage : public ::testing::TestWithParam<HostVector> {};

TEST_P(HostMessage, DecodesOrIsRefused) {
  SmsSendRecord record;
  ASSERT_EQ(DecodeHost(Hex(GetParam().hex), record), GetParam().accepted ? 1 : 0);
  if (GetParam().accepted) GetParam().check(*record);
}

// A message cut inside a parameter is refused, and no cut makes the decoder read past it.
TEST_P(HostMessage, CutInsideAParameterIsRefused) {
  const Bytes whole = Hex(GetParam().hex);
  std::vector<bool> boundary(whole.size() + 1, false);
  boundary[1] = true;
  for (size_t pos = 1; pos + 1 < whole.size(); pos += 2 + whole[pos + 1])
    if (pos + 2 + whole[pos + 1] <= whole.size()) boundary[pos + 2 + whole[pos + 1]] = true;
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    SmsSendRecord record;
    const int result = DecodeHost(Bytes(whole.begin(), whole.begin() + cut), record);
    if (!boundary[cut]) {
      EXPECT_EQ(result, 0) << "cut at " << cut;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Standard, HostMessage, ::testing::ValuesIn(HostVectors()), VectorName);

// Messages in the encoder's form: the host gets back the very bytes they were decoded from.
class CanonicalMessage : public ::testing::TestWithParam<HostVector> {};

TEST_P(CanonicalMessage, ReceivedRecordEncodesToItsBytes) {
  SmsSendRecord record;
  ASSERT_EQ(DecodeHost(Hex(GetParam().hex), record), 1);
  Bytes buffer;
  EXPECT_EQ(HexOf(EncodeHost(ReceivedFrom(*record, buffer))), HexOf(Hex(GetParam().hex)));
}

INSTANTIATE_TEST_SUITE_P(Standard, CanonicalMessage, ::testing::ValuesIn(Accepted(true)), VectorName);

class AcceptedMessage : public ::testing::TestWithParam<HostVector> {};

TEST_P(AcceptedMessage, HostBufferGetsExactlyTheMeasuredLength) {
  SmsSendRecord sent;
  ASSERT_EQ(DecodeHost(Hex(GetParam().hex), sent), 1);
  Bytes userData;
  const CNS_SMS_RECEIVED record = ReceivedFrom(*sent, userData);
  const uint16_t size = EncodeTransportLayer(&record, nullptr, 0);

  Bytes buffer(size + 16u, 0xA5);
  WMC_SMS_MESSAGE host{};
  host.size = sizeof host;
  SetSmsMessageBytes(host, buffer.data());

  host.length = size - 1u;
  EXPECT_EQ(ConvertCNSToIS637(&record, &host), uint32_t{WMC_ERROR_BUFFER_TOO_SMALL});
  EXPECT_EQ(host.length, size);
  EXPECT_EQ(buffer, Bytes(size + 16u, 0xA5)) << "a short buffer is left untouched";

  host.length = size;
  EXPECT_EQ(ConvertCNSToIS637(&record, &host), uint32_t{WMC_ERROR_SUCCESS});
  EXPECT_EQ(host.length, size);
  EXPECT_EQ(Bytes(buffer.begin() + size, buffer.end()), Bytes(16, 0xA5)) << "written past the length";
  EXPECT_EQ(EncodeTransportLayer(&record, buffer.data(), size), size);
}

INSTANTIATE_TEST_SUITE_P(Standard, AcceptedMessage, ::testing::ValuesIn(Accepted(false)), VectorName);

struct EncodeCase {
  const char* name;
  void (*build)(CNS_SMS_RECEIVED& record);
  const char* hex;
};

void SetAddress(CNS_SMS_PARAMS& p, const char* digits) {
  p.flags |= SMS_FLAG_ADDRESS;
  p.addressCount = static_cast<uint8_t>(std::strlen(digits));
  std::memcpy(p.address, digits, p.addressCount);
}

class ReceivedRecord : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(ReceivedRecord, EncodesToTheHostMessage) {
  CNS_SMS_RECEIVED record{};
  record.size = kSmsReceivedRecordSize;
  record.params.size = kSmsParamsSize;
  record.params.teleservice = 1;
  record.params.bearerMessageType = 1;
  GetParam().build(record);
  EXPECT_EQ(HexOf(EncodeHost(record)), HexOf(Hex(GetParam().hex)));
}

INSTANTIATE_TEST_SUITE_P(
    Records, ReceivedRecord,
    ::testing::Values(
        EncodeCase{"NoFlags", [](CNS_SMS_RECEIVED&) {}, "00 00 02 10 02 01 02 00 00"},
        // 10 header bits and 7 codes of 4 bits, padded to 5 bytes; '0' goes as code 10.
        EncodeCase{"SevenDigitAddress", [](CNS_SMS_RECEIVED& r) { SetAddress(r.params, "5550123"); },
                   "00 00 02 10 02 01 02 00 00 02 05 01 D5 56 84 8C"},
        EncodeCase{"DtmfAddressCodes", [](CNS_SMS_RECEIVED& r) { SetAddress(r.params, "1*0#9"); },
                   "00 00 02 10 02 01 02 00 00 02 04 01 46 EB 24"},
        EncodeCase{"SubaddressOfTwoCharacters",
                   [](CNS_SMS_RECEIVED& r) {
                     r.params.flags = SMS_FLAG_SUBADDRESS;
                     r.params.subaddressType = 2;
                     r.params.subaddressCount = 2;
                     std::memcpy(r.params.subaddress, "ab", 2);
                   },
                   "00 00 02 10 02 01 02 00 00 03 04 40 23 13 20"},
        EncodeCase{"ReplySequence",
                   [](CNS_SMS_RECEIVED& r) {
                     r.params.flags = SMS_FLAG_REPLY_OPTION;
                     r.params.replySequence = 0x25;
                   },
                   "00 00 02 10 02 01 02 00 00 06 01 94"},
        EncodeCase{"LanguageOnlyBesideUserData",
                   [](CNS_SMS_RECEIVED& r) {
                     r.params.flags = SMS_FLAG_USER_DATA | SMS_FLAG_LANGUAGE;
                     r.params.language = 3;
                   },
                   "00 00 02 10 02 01 02 00 00 08 0C 00 03 10 00 00 01 02 00 00 0D 01 03"},
        EncodeCase{"PriorityLast",
                   [](CNS_SMS_RECEIVED& r) {
                     r.params.flags = SMS_FLAG_USER_DATA | SMS_FLAG_PRIORITY;
                     r.params.priority = 3;
                   },
                   "00 00 02 10 02 01 02 00 00 08 0C 00 03 10 00 00 01 02 00 00 08 01 C0"},
        EncodeCase{"NumberOfMessagesWithSevenBitText",
                   [](CNS_SMS_RECEIVED& r) {
                     r.params.flags = SMS_FLAG_USER_DATA | SMS_FLAG_NUMBER_OF_MESSAGES;
                     r.params.userDataEncoding = 2;
                     std::memcpy(r.params.numberOfMessages, "03", 2);
                   },
                   "00 00 02 10 02 01 02 00 00 08 0C 00 03 10 00 00 01 02 10 00 0B 01 03"},
        EncodeCase{"NoNumberOfMessagesWithOctets",
                   [](CNS_SMS_RECEIVED& r) {
                     r.params.flags = SMS_FLAG_USER_DATA | SMS_FLAG_NUMBER_OF_MESSAGES;
                     std::memcpy(r.params.numberOfMessages, "03", 2);
                   },
                   "00 00 02 10 02 01 02 00 00 08 09 00 03 10 00 00 01 02 00 00"},
        // Teleservice 5, encoding 12, privacy 5, language 9 and display mode 3 have no wire
        // value: teleservice 0 and octets go out, the three subparameters stay out.
        EncodeCase{"ValuesWithoutWireForm",
                   [](CNS_SMS_RECEIVED& r) {
                     static uint8_t text[] = {'A'};
                     r.params.flags = SMS_FLAG_USER_DATA | SMS_FLAG_PRIVACY | SMS_FLAG_LANGUAGE | SMS_FLAG_DISPLAY_MODE;
                     r.params.teleservice = 5;
                     r.params.userDataEncoding = 12;
                     r.params.privacy = 5;
                     r.params.language = 9;
                     r.params.displayMode = 3;
                     SetSmsUserData(r, text);
                     r.userDataCount = 1;
                   },
                   "00 00 02 00 00 01 02 00 00 08 0A 00 03 10 00 00 01 03 00 0A 08"},
        // A count without a buffer sends no characters.
        EncodeCase{"CountWithoutBuffer",
                   [](CNS_SMS_RECEIVED& r) {
                     r.params.flags = SMS_FLAG_USER_DATA;
                     r.userDataCount = 10;
                   },
                   "00 00 02 10 02 01 02 00 00 08 09 00 03 10 00 00 01 02 00 00"}),
    [](const ::testing::TestParamInfo<EncodeCase>& info) { return info.param.name; });

TEST(HostMessageAddress, DestinationComesBackAsOriginating) {
  SmsSendRecord record;
  ASSERT_EQ(DecodeHost(Hex("00  00 02 10 02  01 02 00 00  04 05 01 D5 54 48 D0"), record), 1);
  Bytes buffer;
  EXPECT_EQ(HexOf(EncodeHost(ReceivedFrom(*record, buffer))), "00 00 02 10 02 01 02 00 00 02 05 01 D5 54 48 D0");
}

TEST(HostMessageAddress, RefusedAddressLeavesTheRecordAsItWas) {
  CNS_SMS_PARAMS params{};
  SetAddress(params, "123");
  const Bytes beyond = Hex("01 D5 54");  // NUM_FIELDS 7 in 3 bytes
  EXPECT_EQ(DecodeAddress(beyond.data(), static_cast<int>(beyond.size()), &params), 0);
  EXPECT_EQ(Chars(params.address, params.addressCount), "123");
}

// Counts from the SDK beyond what their fields or the buffer hold never reach past them.
TEST(ReceivedRecordBounds, CountsAreCutToTheirFields) {
  CNS_SMS_RECEIVED record{};
  record.params.teleservice = 1;
  record.params.bearerMessageType = 1;
  record.params.flags = SMS_FLAG_ADDRESS | SMS_FLAG_SUBADDRESS | SMS_FLAG_USER_DATA;
  record.params.addressCount = 200;
  record.params.subaddressCount = 200;
  std::memset(record.params.address, '7', sizeof record.params.address);
  std::memset(record.params.subaddress, '7', sizeof record.params.subaddress);
  Bytes text(kSmsReceivedBufferSize, 'x');
  SetSmsUserData(record, text.data());
  record.userDataCount = 1000;

  SmsSendRecord back;
  ASSERT_EQ(DecodeHost(EncodeHost(record), back), 1);
  EXPECT_EQ(back->params.addressCount, kSmsMaxAddressChars);
  EXPECT_EQ(back->params.subaddressCount, kSmsMaxAddressChars);
  EXPECT_EQ(back->userDataCount, uint32_t{kSmsReceivedBufferSize});
  EXPECT_EQ(UserText(*back), std::string(kSmsReceivedBufferSize, 'x'));
}

// With every subparameter flagged, 240 characters would make the bearer data too long for
// its length byte: the text is cut so the whole fits, and NUM_FIELDS says what was sent.
// The call-back count of 100 goes out as its 32 digits.
TEST(ReceivedRecordBounds, UserDataIsCutToFitTheBearerData) {
  for (uint32_t encoding : {0u, 2u}) {
    CNS_SMS_RECEIVED record{};
    record.params.flags = 0x3FFFE;  // every flag
    record.params.teleservice = 1;
    record.params.bearerMessageType = 1;
    record.params.userDataEncoding = encoding;
    record.params.language = 1;
    record.params.callbackCount = 100;
    std::memset(record.params.callback, '9', kSmsMaxCallbackDigits);
    Bytes text(kSmsReceivedBufferSize, 'y');
    SetSmsUserData(record, text.data());
    record.userDataCount = kSmsReceivedBufferSize;

    uint8_t length = 0;
    EncodeBearerData(&record, &length, nullptr, true);
    Bytes bearer(kSmsMaxBearerDataBytes, 0);
    uint8_t filled = 0;
    EncodeBearerData(&record, &filled, bearer.data(), false);
    EXPECT_EQ(filled, length);
    EXPECT_GE(length, kSmsMaxBearerDataBytes - 1) << "cut by more than needed";

    SmsSendRecord back;
    bearer.resize(length);
    ASSERT_EQ(DecodeHost(MessageWithBearer(bearer), back), 1);
    EXPECT_LT(back->userDataCount, uint32_t{kSmsReceivedBufferSize});
    EXPECT_EQ(UserText(*back), std::string(back->userDataCount, 'y'));
    EXPECT_EQ(Chars(back->params.callback, back->params.callbackCount), std::string(kSmsMaxCallbackDigits, '9'));
  }
}

TEST(HostBuffer, NullMessagePointerGetsTheNeededLength) {
  CNS_SMS_RECEIVED record{};
  record.params.teleservice = 1;
  WMC_SMS_MESSAGE host{};
  host.length = 1000;
  EXPECT_EQ(ConvertCNSToIS637(&record, &host), uint32_t{WMC_ERROR_BUFFER_TOO_SMALL});
  EXPECT_EQ(host.length, 9u);
}

TEST(HostBuffer, NullArgumentsAreRefused) {
  SmsSendRecord record;
  WMC_SMS_MESSAGE host{};
  EXPECT_EQ(ConvertIS637ToCNS(nullptr, record.get()), 0);
  EXPECT_EQ(ConvertIS637ToCNS(&host, record.get()), 0) << "no message bytes";
  EXPECT_EQ(ConvertCNSToIS637(nullptr, &host), uint32_t{WMC_ERROR_INVALID_PARAMETER});
}

// A message filled up to n bytes with parameters 9, which the decoder skips.
Bytes PaddedTo(Bytes message, size_t n) {
  while (message.size() < n) {
    size_t room = n - message.size();
    size_t chunk = std::min<size_t>(room, 2 + 255);
    if (room - chunk == 1) chunk -= 2;  // leave room for a last parameter header
    message.push_back(9);
    message.push_back(static_cast<uint8_t>(chunk - 2));
    message.resize(message.size() + chunk - 2, 0x55);
  }
  return message;
}

TEST(HostMessageLength, LongestTransportMessageIsTheBound) {
  const Bytes message = MessageWithBearer(Hex("01 04 10 14 8D 20"));
  SmsSendRecord record;
  const Bytes longest = PaddedTo(message, kSmsMaxTransportBytes);
  ASSERT_EQ(longest.size(), kSmsMaxTransportBytes);
  EXPECT_EQ(DecodeHost(longest, record), 1);
  SmsSendRecord beyond;
  EXPECT_EQ(DecodeHost(PaddedTo(message, kSmsMaxTransportBytes + 1), beyond), 0);
}

TEST(CodecLog, LinesGoThroughTheHook) {
  SmsLogCapture log;
  SmsSendRecord sent;
  ASSERT_EQ(DecodeHost(MessageWithBearer(Hex("01 04 60 14 8D 20")), sent), 1);  // MSG_ENCODING 12
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0], "DecodeBearerData ::Data Encoding Type for SMS - 0, RawEncoding 12 \n");

  CNS_SMS_RECEIVED record{};
  record.params.flags = SMS_FLAG_USER_DATA;
  record.params.userDataEncoding = 12;
  WMC_SMS_MESSAGE host{};
  EXPECT_EQ(ConvertCNSToIS637(&record, &host), uint32_t{WMC_ERROR_BUFFER_TOO_SMALL});
  ASSERT_EQ(log.Lines().size(), 2u) << "the size pass logs nothing";
  EXPECT_EQ(log.Lines()[1], "ConvertCNSToIS637:not enough buffer size passed return WMC_ERROR_BUFFER_TOO_SMALL\n");
  EncodeHost(record);
  ASSERT_EQ(log.Lines().size(), 3u);
  EXPECT_EQ(log.Lines()[2], "EncodeBearerData :: Data Encoding Type for SMS - 12, RawEncoding 0 \n");
}

TEST(SendRecord, StartsAsTheSdkTakesIt) {
  SmsSendRecord record;
  EXPECT_EQ(record->size, kSmsSendRecordSize);
  EXPECT_EQ(record->params.size, kSmsParamsSize);
  EXPECT_EQ(record->params.flags, 0u);
  EXPECT_EQ(SmsUserData(*record), nullptr);
}

}  // namespace
