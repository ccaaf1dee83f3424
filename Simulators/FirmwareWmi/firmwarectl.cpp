// firmwarectl: drives the simulated firmware from outside the serving process.
//   firmwarectl status | reset | set B0 B1 B2 B3 | switch [on|off] | disable | enable
//               remove | insert | event ID [DATA] | answer N|asked | timeouts N
//               fail read|write|connect|class|instance|subscribe|outdata on|off
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FirmwareSim.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: firmwarectl status | reset | set B0 B1 B2 B3 | switch [on|off] | disable | enable |\n"
               "       remove | insert | event ID [DATA] | answer N|asked | timeouts N |\n"
               "       fail read|write|connect|class|instance|subscribe|outdata on|off\n");
  return 2;
}

void Print(FirmwareSim& sim) {
  FirmwareSimBlock b = sim.Snapshot();
  std::printf("status %02X %02X %02X %02X flags 0x%02X reads %u writes %u refused %u events %u\n", b.status[0],
              b.status[1], b.status[2], b.status[3], b.flags, b.reads, b.writes, b.refusedWrites, b.events);
}

uint32_t FlagNamed(const char* name) {
  static const struct { const char* name; uint32_t flag; } kFlags[] = {
      {"read", kSimFailRead},         {"write", kSimFailWrite},       {"connect", kSimFailConnect},
      {"class", kSimNoClass},         {"instance", kSimNoInstance},   {"subscribe", kSimFailSubscribe},
      {"outdata", kSimNoOutData}};
  for (const auto& f : kFlags)
    if (std::strcmp(f.name, name) == 0) return f.flag;
  return 0;
}

// Changes byte 3 (or byte 0) and tells the service, as the firmware would.
void ChangeAndRaise(FirmwareSim& sim, int byte, uint8_t set, uint8_t clear) {
  sim.Update([&](FirmwareSimBlock& b) { b.status[byte] = static_cast<uint8_t>((b.status[byte] | set) & ~clear); });
  sim.RaiseEvent(5, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  FirmwareSim sim;
  if (!sim.Open()) {
    std::fprintf(stderr, "firmwarectl: cannot open the simulated firmware (%lu)\n", GetLastError());
    return 1;
  }
  const char* cmd = argv[1];
  if (!std::strcmp(cmd, "status")) {
  } else if (!std::strcmp(cmd, "reset")) {
    sim.Reset();
  } else if (!std::strcmp(cmd, "set") && argc == 6) {
    sim.Update([&](FirmwareSimBlock& b) {
      for (int i = 0; i < 4; ++i) b.status[i] = static_cast<uint8_t>(std::strtoul(argv[2 + i], nullptr, 16));
    });
  } else if (!std::strcmp(cmd, "switch") && argc == 2) {
    sim.FlipSwitch();
  } else if (!std::strcmp(cmd, "switch") && argc == 3 && !std::strcmp(argv[2], "on")) {
    ChangeAndRaise(sim, 3, 0x01, 0);
  } else if (!std::strcmp(cmd, "switch") && argc == 3 && !std::strcmp(argv[2], "off")) {
    ChangeAndRaise(sim, 3, 0, 0x01);
  } else if (!std::strcmp(cmd, "disable")) {
    ChangeAndRaise(sim, 3, 0, 0x08);
  } else if (!std::strcmp(cmd, "enable")) {
    ChangeAndRaise(sim, 3, 0x0C, 0);
  } else if (!std::strcmp(cmd, "remove")) {
    ChangeAndRaise(sim, 0, 0, 0x04);
  } else if (!std::strcmp(cmd, "insert")) {
    ChangeAndRaise(sim, 0, 0x04, 0);
  } else if (!std::strcmp(cmd, "event") && argc >= 3) {
    sim.RaiseEvent(std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 0);
  } else if (!std::strcmp(cmd, "answer") && argc == 3) {
    int n = std::strcmp(argv[2], "asked") ? std::atoi(argv[2]) : -1;
    sim.Update([n](FirmwareSimBlock& b) { b.answerCount = n; });
  } else if (!std::strcmp(cmd, "timeouts") && argc == 3) {
    int n = std::atoi(argv[2]);
    sim.Update([n](FirmwareSimBlock& b) { b.timeoutsBeforeInstance = n; });
  } else if (!std::strcmp(cmd, "fail") && argc == 4 && FlagNamed(argv[2])) {
    uint32_t flag = FlagNamed(argv[2]);
    bool on = !std::strcmp(argv[3], "on");
    sim.Update([=](FirmwareSimBlock& b) { b.flags = on ? (b.flags | flag) : (b.flags & ~flag); });
  } else {
    return Usage();
  }
  Print(sim);
  return 0;
}
