#include "NetworkErrors.h"

#include <cstdio>

#include "HostBlocks.h"

namespace {

const char* const kCallEndTexts[] = {
    "Call origination - No Service",
    "Call origination - Access Failure",
    "Call origination - Internal Protocols unable to originate",
    "Call origination - Redirection",
    "Call origination - Handoff to another mode",
    "Call origination - Access Already in progress",
    "Call origination - Incoming call given priority by BS",
    "Call origination - CDMA locked until power cycle",
    "Call origination - Concurrent services requested are not compatible",
    "Call origination - Concurrent service not supported by BS",
    "Call origination - BS does not respond to Origination request",
    "Call origination - BS rejects Origination request",
    "Call origination - BS does not support requested Service Option",
    "Call origination - Traffic Channel already open",
    "Call origination - BS sent alert stop",
    "Call origination - Max Access Probes",
    "Call origination - Service Activation data not available",
    "Call origination - Received intercept from BS",
    "Call origination - Received reorder from BS",
    "Call origination - Other undefined error",
    "Release - Fade",
    "Release - BS releases call with no reason given",
    "Release - BS releases call because it does not support Service Option",
    "Internal protocol failures",
    "Redirect from 1x to EVDO",
    "Fade",
    "User ended call",
    "OTASP ended",
    "SMS or GPS call ended in favor of a voice call",
    "E-911 call ended",
    "Voice call terminated in favor of incoming Emergency call",
    "Voice call terminated in favor of GPS fix",
};
static_assert(sizeof kCallEndTexts / sizeof kCallEndTexts[0] == WMC_CALL_END_LAST - WMC_CALL_END_FIRST + 1,
              "one text per call end code");

}  // namespace

std::string NetworkErrorText(int code) {
  if (code >= static_cast<int>(WMC_CALL_END_FIRST) && code <= static_cast<int>(WMC_CALL_END_LAST))
    return kCallEndTexts[code - WMC_CALL_END_FIRST];
  char text[40];
  std::snprintf(text, sizeof text, "DADER5 - Error %d", code);
  return text;
}
