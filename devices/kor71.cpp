#include "devices/kor71.h"

namespace {

using namespace veltrix::devices;

constexpr SlaveWrite kSlaveWrites[] = {
    kSlave0Address,  kSlave0Register, kSlave0Control, kSlave1Address,
    kSlave1Register, kSlave1Control,  kSlave1Output,  kMasterDelayControl,
};

constexpr CompassTraits kCompassTraits{.slave_writes = kSlaveWrites, .sets_50hz_after_connect = false};

constexpr DeviceTraits kTraits = compass_family_traits({kor71::RegisterMap, kor71::RegisterMapSize});

}  // namespace

kor71::kor71() : CompassKor(kTraits, kCompassTraits) {}
