#include "devices/kor73.h"

namespace {

using namespace veltrix::devices;

constexpr SlaveWrite kSlaveWrites[] = {
    kSlave0Address,  kSlave0Register, kSlave0Control,      kSlave1Address,
    kSlave1Register, kSlave1Output,   kMasterDelayControl, kSlave1Control,
};

constexpr CompassTraits kCompassTraits{.slave_writes = kSlaveWrites, .sets_50hz_after_connect = true};

constexpr DeviceTraits kTraits = compass_family_traits({kor73::RegisterMap, kor73::RegisterMapSize});

}  // namespace

kor73::kor73() : CompassKor(kTraits, kCompassTraits) {}
