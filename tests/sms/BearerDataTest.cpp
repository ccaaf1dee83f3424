// Lenient decoding of bearer subparameters: what each one leaves in the send record and
// whether the parsing goes on after it.
#include <gtest/gtest.h>

#include "SmsVectors.h"

namespace {

struct BearerCase {
  const char* name;
  const char* bearer;  // followed by a privacy subparameter that shows whether parsing went on
  bool goesOn;
  void (*check)(const CNS_SMS_SEND& record);
};

class BearerSubparameter : public ::testing::TestWithParam<BearerCase> {};

TEST_P(BearerSubparameter, DecodesLeniently) {
  Bytes bearer = Hex(GetParam().bearer);
  const Bytes sentinel = Hex("09 01 80");  // privacy 2
  bearer.insert(bearer.end(), sentinel.begin(), sentinel.end());
  SmsSendRecord record;
  ASSERT_EQ(DecodeHost(MessageWithBearer(bearer), record), 1) << "bearer data never refuses a message";
  EXPECT_EQ(record->params.privacy == 2, GetParam().goesOn);
  GetParam().check(*record);
}

INSTANTIATE_TEST_SUITE_P(
    Lenient, BearerSubparameter,
    ::testing::Values(
        BearerCase{"MessageTypeOutOfRange", "00 03 60 05 00", false,
                   [](const CNS_SMS_SEND& r) {
                     EXPECT_EQ(r.params.bearerMessageType, 0u);
                     EXPECT_EQ(r.messageId, 0x0050);
                   }},
        BearerCase{"MessageIdentifierTooShort", "00 02 20 05", false,
                   [](const CNS_SMS_SEND& r) { EXPECT_EQ(r.messageId, 0); }},
        BearerCase{"MessageIdentifierLongerStepsByItsLength", "00 04 20 05 00 FF", true,
                   [](const CNS_SMS_SEND& r) { EXPECT_EQ(r.messageId, 0x0050); }},
        // Encoding 12 has no record value: its characters are octets, the parsing ends.
        BearerCase{"UnknownEncoding", "01 04 60 14 8D 20", false,
                   [](const CNS_SMS_SEND& r) {
                     EXPECT_EQ(r.params.userDataEncoding, 0u);
                     EXPECT_EQ(HexOf(Bytes(SmsUserData(r), SmsUserData(r) + r.userDataCount)), "91 A4");
                   }},
        BearerCase{"UserDataOfOneByte", "01 01 10", false,
                   [](const CNS_SMS_SEND& r) {
                     EXPECT_EQ(r.params.userDataEncoding, 0u);
                     EXPECT_EQ(SmsUserData(r), nullptr);
                   }},
        // NUM_FIELDS 200 in 4 bytes: only what the value holds is decoded and counted.
        BearerCase{"SevenBitCountBeyondValue", "01 04 16 44 8D 20", true,
                   [](const CNS_SMS_SEND& r) { EXPECT_EQ(UserText(r), "Hi"); }},
        BearerCase{"OctetCountBeyondValue", "01 04 06 42 42 48", true,
                   [](const CNS_SMS_SEND& r) { EXPECT_EQ(UserText(r), "HI"); }},
        BearerCase{"LaterUserDataWins", "01 04 10 14 8D 20 01 04 00 12 0A 48", true,
                   [](const CNS_SMS_SEND& r) { EXPECT_EQ(UserText(r), "AI"); }},
        BearerCase{"UserResponseCodeOfTwoBytes", "02 02 07 07", false,
                   [](const CNS_SMS_SEND& r) {
                     EXPECT_TRUE(r.params.flags & SMS_FLAG_USER_RESPONSE);
                     EXPECT_EQ(r.params.userResponseCode, 0);
                   }},
        BearerCase{"TimeStampTooShort", "03 05 24 01 15 08 30", false,
                   [](const CNS_SMS_SEND& r) { EXPECT_FALSE(r.params.flags & SMS_FLAG_TIME_STAMP); }},
        BearerCase{"TimeStampLongerStepsByItsLength", "03 07 24 01 15 08 30 00 99", true,
                   [](const CNS_SMS_SEND& r) {
                     EXPECT_EQ(HexOf(Bytes(r.params.timeStamp, r.params.timeStamp + 6)), "24 01 15 08 30 00");
                   }},
        BearerCase{"EmptyRelativeValidity", "05 00", false,
                   [](const CNS_SMS_SEND& r) { EXPECT_FALSE(r.params.flags & SMS_FLAG_VALIDITY_RELATIVE); }},
        BearerCase{"EmptyPriority", "08 00", false,
                   [](const CNS_SMS_SEND& r) { EXPECT_FALSE(r.params.flags & SMS_FLAG_PRIORITY); }},
        BearerCase{"EmptyAlert", "0C 00", true,
                   [](const CNS_SMS_SEND& r) {
                     EXPECT_TRUE(r.params.flags & SMS_FLAG_ALERT);
                     EXPECT_EQ(r.params.alertPriority, 0);
                   }},
        BearerCase{"LanguageZero", "0D 01 00", false,
                   [](const CNS_SMS_SEND& r) {
                     EXPECT_TRUE(r.params.flags & SMS_FLAG_LANGUAGE);
                     EXPECT_EQ(r.params.language, 0u);
                   }},
        BearerCase{"LanguageOfTwoBytes", "0D 02 01 01", false,
                   [](const CNS_SMS_SEND& r) { EXPECT_FALSE(r.params.flags & SMS_FLAG_LANGUAGE); }},
        // NUM_FIELDS 40: the record holds 32 digits.
        BearerCase{"CallbackOfFortyDigits",
                   "0E 16 14 09 1A 2B 3C 4D 09 1A 2B 3C 4D 09 1A 2B 3C 4D 09 1A 2B 3C 4D 00", true,
                   [](const CNS_SMS_SEND& r) {
                     EXPECT_EQ(Chars(r.params.callback, r.params.callbackCount), "12345678901234567890123456789012");
                   }},
        BearerCase{"CallbackDigitsBeyondValue", "0E 02 04 C4", true,
                   [](const CNS_SMS_SEND& r) { EXPECT_EQ(Chars(r.params.callback, r.params.callbackCount), "8"); }},
        BearerCase{"EmptyCallback", "0E 00", false,
                   [](const CNS_SMS_SEND& r) { EXPECT_EQ(r.params.callbackCount, 0); }},
        BearerCase{"DisplayModeThree", "0F 01 C0", false,
                   [](const CNS_SMS_SEND& r) {
                     EXPECT_TRUE(r.params.flags & SMS_FLAG_DISPLAY_MODE);
                     EXPECT_EQ(r.params.displayMode, 0u);
                   }},
        BearerCase{"DisplayModeOfTwoBytes", "0F 02 40 00", false,
                   [](const CNS_SMS_SEND& r) {
                     EXPECT_TRUE(r.params.flags & SMS_FLAG_DISPLAY_MODE);
                     EXPECT_EQ(r.params.displayMode, 0u);
                   }},
        BearerCase{"NumberOfMessagesNotDecoded", "0B 01 12", true,
                   [](const CNS_SMS_SEND& r) { EXPECT_FALSE(r.params.flags & SMS_FLAG_NUMBER_OF_MESSAGES); }},
        BearerCase{"NewerSubparameterSkipped", "10 03 01 02 03", true, [](const CNS_SMS_SEND&) {}}),
    [](const ::testing::TestParamInfo<BearerCase>& info) { return info.param.name; });

// A value that runs past the bearer data ends the parsing; nothing beyond it is read.
TEST(BearerData, ValuePastItsEndEndsTheParsing) {
  SmsSendRecord record;
  ASSERT_EQ(DecodeHost(MessageWithBearer(Hex("08 01 C0 03 06 24 01 15")), record), 1);
  EXPECT_EQ(record->params.priority, 3u);
  EXPECT_FALSE(record->params.flags & SMS_FLAG_TIME_STAMP);
}

TEST(BearerData, NothingToDecode) {
  SmsSendRecord record;
  EXPECT_EQ(DecodeBearerData(nullptr, 0, record.get()), 1);
  EXPECT_EQ(DecodeBearerData(Hex("08").data(), 1, record.get()), 1);
  EXPECT_EQ(record->params.flags, 0u);
}

}  // namespace
