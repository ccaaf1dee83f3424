#include "SmsVectors.h"

#include <gtest/gtest.h>

std::string Chars(const uint8_t* bytes, int count) {
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
}

std::string UserText(const CNS_SMS_SEND& r) {
  const uint8_t* data = SmsUserData(r);
  return data ? Chars(data, static_cast<int>(r.userDataCount)) : std::string();
}

namespace {
void NoCheck(const CNS_SMS_SEND&) {}
}  // namespace

const std::vector<HostVector>& HostVectors() {
  static const std::vector<HostVector> vectors = {
      // Point-to-point; teleservice 4098; category 0; destination address, DIGIT_MODE 0,
      // NUM_FIELDS 5, codes 1 11 10 12 9; bearer: submit, MESSAGE_ID 1; 7-bit "Hi".
      {"SubmitWithDtmfAddress",
       "00  00 02 10 02  01 02 00 00  04 04 01 46 EB 24  08 0B 00 03 20 00 10 01 04 10 14 8D 20", true, false,
       [](const CNS_SMS_SEND& r) {
         EXPECT_EQ(r.params.flags, uint32_t{SMS_FLAG_ADDRESS | SMS_FLAG_USER_DATA});
         EXPECT_EQ(r.params.messageType, 0u);
         EXPECT_EQ(r.params.teleservice, 1u);
         EXPECT_EQ(r.params.addressDigitMode, 0);
         EXPECT_EQ(Chars(r.params.address, r.params.addressCount), "1*0#9");
         EXPECT_EQ(r.params.bearerMessageType, 2u);
         EXPECT_EQ(r.messageId, 1);
         EXPECT_EQ(r.params.userDataEncoding, 2u);
         EXPECT_EQ(UserText(r), "Hi");
       }},
      // Originating 5551234; bearer reply option REPLY_SEQ 5; deliver 0x1234; octets "OK";
      // MC time stamp 24-12-31 23:59:00; reply option USER_ACK_REQ and DAK_REQ.
      {"DeliverWithReplyOptionAndTimeStamp",
       "00  00 02 10 02  01 02 00 00  02 05 01 D5 54 48 D0  06 01 14  "
       "08 16 00 03 11 23 40 01 04 00 12 7A 58 03 06 24 12 31 23 59 00 0A 01 C0",
       true, true,
       [](const CNS_SMS_SEND& r) {
         EXPECT_EQ(r.params.flags, uint32_t{SMS_FLAG_ADDRESS | SMS_FLAG_REPLY_OPTION | SMS_FLAG_USER_DATA |
                                            SMS_FLAG_TIME_STAMP});
         EXPECT_EQ(Chars(r.params.address, r.params.addressCount), "5551234");
         EXPECT_EQ(r.params.replySequence, 5);
         EXPECT_EQ(r.params.bearerMessageType, 1u);
         EXPECT_EQ(r.messageId, 0x1234);
         EXPECT_EQ(UserText(r), "OK");
         EXPECT_EQ(Chars(r.params.timeStamp, 6), Chars(Hex("24 12 31 23 59 00").data(), 6));
         EXPECT_EQ(r.params.userAckRequested, 1);
         EXPECT_EQ(r.params.deliveryAckRequested, 1);
       }},
      // MESSAGE_ID 0xABCD from bit 4: its bits lie in all three bytes of the value.
      {"MessageIdAcrossThreeBytes",
       "00  00 02 10 02  01 02 00 00  04 05 01 D5 54 48 D0  08 09 00 03 2A BC D0 01 02 00 00", true, false,
       [](const CNS_SMS_SEND& r) {
         EXPECT_EQ(r.params.bearerMessageType, 2u);
         EXPECT_EQ(r.messageId, 0xABCD);
         EXPECT_EQ(r.userDataCount, 0u);
       }},
      // 7-bit ASCII "ABCDEFGH": 13 + 56 bits, LEN 9.
      {"SevenBitCountMultipleOfEight",
       "00  00 02 10 02  01 02 00 00  02 05 01 D5 54 48 D0  08 10 00 03 10 00 10 01 09 10 44 18 50 E2 45 8D 1E 40",
       true, true,
       [](const CNS_SMS_SEND& r) {
         EXPECT_EQ(r.params.userDataEncoding, 2u);
         EXPECT_EQ(UserText(r), "ABCDEFGH");
       }},
      // 7-bit "TEST": 13 + 28 bits padded to LEN 6, room for a fifth that is not there.
      {"SevenBitCountNotMultipleOfEight",
       "00  00 02 10 02  01 02 00 00  02 05 01 D5 54 48 D0  08 0D 00 03 10 00 10 01 06 10 25 48 B4 EA 00", true,
       true, [](const CNS_SMS_SEND& r) { EXPECT_EQ(UserText(r), "TEST"); }},
      // Octets 00 7F 80 FF from an 8-bit address (DIGIT_MODE 1, NUMBER_TYPE 1, NUMBER_PLAN 1).
      {"EightBitUserDataAndAddress",
       "00  00 02 10 02  01 02 00 00  02 05 88 81 18 99 00  08 0D 00 03 10 00 70 01 06 00 20 03 FC 07 F8", true,
       true,
       [](const CNS_SMS_SEND& r) {
         EXPECT_EQ(r.messageId, 7);
         EXPECT_EQ(r.params.userDataEncoding, 0u);
         EXPECT_EQ(HexOf(Bytes(SmsUserData(r), SmsUserData(r) + r.userDataCount)), "00 7F 80 FF");
         EXPECT_EQ(r.params.addressDigitMode, 1);
         EXPECT_EQ(r.params.addressNumberMode, 0);
         EXPECT_EQ(r.params.addressNumberType, 1);
         EXPECT_EQ(r.params.addressNumberPlan, 1);
         EXPECT_EQ(Chars(r.params.address, r.params.addressCount), "ab");  // 0x31, 0x32 held + '0'
       }},
      // Call-back 800555*#0 in DTMF codes.
      {"CallbackNumber",
       "00  00 02 10 02  01 02 00 00  02 05 01 D5 54 48 D0  08 11 00 03 10 00 10 01 02 00 00 0E 06 04 C5 52 AA DE 50",
       true, true,
       [](const CNS_SMS_SEND& r) {
         EXPECT_TRUE(r.params.flags & SMS_FLAG_CALLBACK);
         EXPECT_EQ(Chars(r.params.callback, r.params.callbackCount), "800555*#0");
       }},
      // Call-back in 8-bit characters (NUMBER_TYPE and NUMBER_PLAN skipped): 0x35 0x0A 0x41.
      {"CallbackNumberEightBit",
       "00  00 02 10 02  01 02 00 00  04 05 01 D5 54 48 D0  08 07 0E 05 91 03 35 0A 41", true, false,
       [](const CNS_SMS_SEND& r) { EXPECT_EQ(Chars(r.params.callback, r.params.callbackCount), "e0q"); }},
      // Every bearer subparameter the decoder knows, plus 11 (not decoded) and 20 (skipped).
      {"EveryBearerSubparameter",
       "00  00 02 10 02  01 02 00 00  04 05 01 D5 54 48 D0  "
       "08 4D 00 03 10 00 10 01 04 10 14 8D 20 02 01 07 03 06 24 01 15 08 30 00 04 06 24 02 01 00 00 00 05 01 A7 "
       "06 06 24 01 16 09 00 00 07 01 0B 08 01 80 09 01 40 0A 01 80 0B 01 12 0C 01 C0 0D 01 02 "
       "0E 06 04 C5 52 AA DE 50 0F 01 80 14 02 AA BB",
       true, false,
       [](const CNS_SMS_SEND& r) {
         const CNS_SMS_PARAMS& p = r.params;
         EXPECT_EQ(p.flags, uint32_t{SMS_FLAG_ADDRESS | SMS_FLAG_USER_DATA | SMS_FLAG_USER_RESPONSE |
                                     SMS_FLAG_TIME_STAMP | SMS_FLAG_VALIDITY_ABSOLUTE | SMS_FLAG_VALIDITY_RELATIVE |
                                     SMS_FLAG_DEFERRED_ABSOLUTE | SMS_FLAG_DEFERRED_RELATIVE | SMS_FLAG_PRIORITY |
                                     SMS_FLAG_PRIVACY | SMS_FLAG_REPLY_OPTION | SMS_FLAG_ALERT | SMS_FLAG_LANGUAGE |
                                     SMS_FLAG_CALLBACK | SMS_FLAG_DISPLAY_MODE});
         EXPECT_EQ(p.bearerMessageType, 1u);
         EXPECT_EQ(UserText(r), "Hi");
         EXPECT_EQ(p.userResponseCode, 7);
         EXPECT_EQ(HexOf(Bytes(p.timeStamp, p.timeStamp + 6)), "24 01 15 08 30 00");
         EXPECT_EQ(HexOf(Bytes(p.validityAbsolute, p.validityAbsolute + 6)), "24 02 01 00 00 00");
         EXPECT_EQ(p.validityRelative, 0xA7);
         EXPECT_EQ(HexOf(Bytes(p.deferredAbsolute, p.deferredAbsolute + 6)), "24 01 16 09 00 00");
         EXPECT_EQ(p.deferredRelative, 0x0B);
         EXPECT_EQ(p.priority, 2u);
         EXPECT_EQ(p.privacy, 1u);
         EXPECT_EQ(p.userAckRequested, 1);
         EXPECT_EQ(p.deliveryAckRequested, 0);
         EXPECT_EQ(Chars(p.numberOfMessages, 2), std::string(2, '\0'));
         EXPECT_EQ(p.alertPriority, 3);
         EXPECT_EQ(p.language, 2u);
         EXPECT_EQ(Chars(p.callback, p.callbackCount), "800555*#0");
         EXPECT_EQ(p.displayMode, 2u);
       }},
      // Everything the encoder writes: category 0x1234, subaddress (ODD, 3 characters),
      // REPLY_SEQ 63 and every flagged bearer subparameter in the encoder's order.
      {"EverythingTheEncoderWrites",
       "00  00 02 10 02  01 02 12 34  02 05 01 D5 54 48 D0  03 05 10 33 10 A7 A0  06 01 FC  "
       "08 46 00 03 10 10 20 01 05 00 1B 0B 13 18 02 01 09 03 06 24 01 15 08 30 00 04 06 24 02 01 00 00 00 "
       "05 01 A7 06 06 24 01 16 09 00 00 07 01 0B 09 01 C0 0A 01 40 08 01 40 0C 01 80 0D 01 07 0F 01 40 "
       "0E 05 03 AA A8 90 90",
       true, true,
       [](const CNS_SMS_SEND& r) {
         const CNS_SMS_PARAMS& p = r.params;
         EXPECT_EQ(p.serviceCategory, 0x1234);
         EXPECT_EQ(p.subaddressType, 0);
         EXPECT_EQ(p.subaddressOdd, 1);
         EXPECT_EQ(HexOf(Bytes(p.subaddress, p.subaddress + p.subaddressCount)), "61 30 AA");
         EXPECT_EQ(p.replySequence, 63);
         EXPECT_EQ(r.messageId, 0x0102);
         EXPECT_EQ(UserText(r), "abc");
         EXPECT_EQ(p.privacy, 3u);
         EXPECT_EQ(p.deliveryAckRequested, 1);
         EXPECT_EQ(p.priority, 1u);
         EXPECT_EQ(p.alertPriority, 2);
         EXPECT_EQ(p.language, 7u);
         EXPECT_EQ(p.displayMode, 1u);
         EXPECT_EQ(Chars(p.callback, p.callbackCount), "5551212");
       }},
      // A data network address (DIGIT_MODE 1, NUMBER_MODE 1): NUMBER_TYPE 2, no NUMBER_PLAN.
      {"DataNetworkAddress", "00  00 02 10 02  02 05 D0 1A 08 51 70", true, false,
       [](const CNS_SMS_SEND& r) {
         EXPECT_EQ(r.params.addressNumberMode, 1);
         EXPECT_EQ(r.params.addressNumberType, 2);
         EXPECT_EQ(r.params.addressNumberPlan, 0);
         EXPECT_EQ(HexOf(Bytes(r.params.address, r.params.address + r.params.addressCount)), "71 30 5E");
         EXPECT_EQ(r.params.flags, uint32_t{SMS_FLAG_ADDRESS});
       }},
      {"FiftyDigitAddress",
       "00  04 1B 0C 84 8D 15 9E 26 84 8D 15 9E 26 84 8D 15 9E 26 84 8D 15 9E 26 84 8D 15 9E 26 80", true, false,
       [](const CNS_SMS_SEND& r) {
         EXPECT_EQ(Chars(r.params.address, r.params.addressCount), "12345678901234567890123456789012345678901234567890");
       }},
      {"UnknownParametersSkipped", "00  09 03 01 02 03  04 05 01 D5 54 48 D0  FF 00  0A 01 00", true, false,
       [](const CNS_SMS_SEND& r) { EXPECT_EQ(r.params.flags, uint32_t{SMS_FLAG_ADDRESS}); }},
      // The bearer reply option steps by its length and keeps REPLY_SEQ 21.
      {"ReplyOptionKeepsSequence", "00  06 02 54 00  00 02 10 03  04 05 01 D5 54 48 D0", true, false,
       [](const CNS_SMS_SEND& r) {
         EXPECT_EQ(r.params.replySequence, 21);
         EXPECT_EQ(r.params.teleservice, 2u);
       }},
      {"OneByte", "00", false, false, NoCheck},
      {"Broadcast", "01  00 02 10 02  04 05 01 D5 54 48 D0", false, false, NoCheck},
      {"Acknowledge", "02  04 05 01 D5 54 48 D0", false, false, NoCheck},
      {"UnknownMessageType", "03  04 05 01 D5 54 48 D0", false, false, NoCheck},
      {"UnknownTeleservice", "00  00 02 10 05  04 05 01 D5 54 48 D0", false, false, NoCheck},
      {"TeleserviceOfThreeBytes", "00  00 03 10 02 00  04 05 01 D5 54 48 D0", false, false, NoCheck},
      {"ServiceCategoryOfOneByte", "00  01 01 00  04 05 01 D5 54 48 D0", false, false, NoCheck},
      {"CauseCodes", "00  04 05 01 D5 54 48 D0  07 01 04", false, false, NoCheck},
      {"EmptyBearerData", "00  04 05 01 D5 54 48 D0  08 00", false, false, NoCheck},
      {"NoAddress", "00  00 02 10 02  08 05 00 03 20 00 10", false, false, NoCheck},
      {"AddressOf51Digits", "00  04 1B 0C C4 8D 15 9E 26 84 8D 15 9E 26 84 8D 15 9E 26 84 8D 15 9E 26 84 8D 15 9E 26 80",
       false, false, NoCheck},
      {"AddressBitsBeyondValue", "00  04 03 01 D5 54", false, false, NoCheck},
      {"AddressHeaderBeyondValue", "00  04 01 D0", false, false, NoCheck},
      {"SubaddressOf51Characters", "00  04 05 01 D5 54 48 D0  05 02 03 30", false, false, NoCheck},
      {"SubaddressBitsBeyondValue", "00  04 05 01 D5 54 48 D0  05 03 10 33 10", false, false, NoCheck},
      {"EmptyReplyOption", "00  04 05 01 D5 54 48 D0  06 00", false, false, NoCheck},
      {"HeaderPastTheEnd", "00  04 05 01 D5 54 48 D0  08", false, false, NoCheck},
      {"ValuePastTheEnd", "00  04 05 01 D5 54 48 D0  08 06 00 03 20 00 10", false, false, NoCheck},
  };
  return vectors;
}
