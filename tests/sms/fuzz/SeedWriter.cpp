// Writes the seed corpus of both fuzz targets from the test vectors:
// <dir>/host/<name> holds a host message, <dir>/record/<name> a received record followed
// by its user data.
#include <cstdio>
#include <string>

#include "SmsVectors.h"

namespace {
bool Write(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus-dir>  (host/ and record/ must exist)\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  int written = 0;
  for (const HostVector& v : HostVectors()) {
    const Bytes message = Hex(v.hex);
    if (!Write(dir + "/host/" + v.name, message)) return 1;
    ++written;
    SmsSendRecord sent;
    if (DecodeHost(message, sent) != 1) continue;
    Bytes userData;
    CNS_SMS_RECEIVED record = ReceivedFrom(*sent, userData);
    record.userData = record.userDataCount ? 1 : 0;
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&record);
    Bytes seed(raw, raw + sizeof record);
    seed.insert(seed.end(), userData.begin(), userData.begin() + record.userDataCount);
    if (!Write(dir + "/record/" + v.name, seed)) return 1;
    ++written;
  }
  std::printf("%d seeds in %s\n", written, dir.c_str());
  return 0;
}
