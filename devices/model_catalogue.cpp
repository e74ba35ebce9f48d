#include "devices/model_catalogue.h"

#include <array>

#include "devices/hep11.h"
#include "devices/kor21.h"
#include "devices/kor23.h"
#include "devices/kor24.h"
#include "devices/kor42.h"
#include "devices/kor46.h"
#include "devices/kor71.h"
#include "devices/kor73.h"
#include "devices/naf38.h"

namespace {

template <class Device>
std::unique_ptr<ikor> make_device() {
  return std::make_unique<Device>();
}

constexpr std::array kModels = {
    ModelEntry{"HEP 11", "hep11", make_device<hep11>}, ModelEntry{"HEP 14", "hep11", make_device<hep11>},
    ModelEntry{"KOR 21", "kor21", make_device<kor21>}, ModelEntry{"VEL 22", "kor21", make_device<kor21>},
    ModelEntry{"NAF 31", "kor21", make_device<kor21>}, ModelEntry{"NAF 33", "kor21", make_device<kor21>},
    ModelEntry{"BEH 12", "hep11", make_device<hep11>}, ModelEntry{"KOR 24", "kor24", make_device<kor24>},
    ModelEntry{"KOR 23", "kor23", make_device<kor23>}, ModelEntry{"NAF 37", "naf38", make_device<naf38>},
    ModelEntry{"NAF 38", "naf38", make_device<naf38>}, ModelEntry{"KOR 40", "kor46", make_device<kor46>},
    ModelEntry{"KOR 46", "kor46", make_device<kor46>}, ModelEntry{"KOR 42", "kor42", make_device<kor42>},
    ModelEntry{"KOR 44", "kor42", make_device<kor42>}, ModelEntry{"KOR 71", "kor71", make_device<kor71>},
    ModelEntry{"KOR 73", "kor73", make_device<kor73>},
};

}  // namespace

std::span<const ModelEntry> model_catalogue() { return kModels; }

const ModelEntry* find_model(std::string_view name) {
  for (const ModelEntry& m : kModels) {
    if (name == m.name) {
      return &m;
    }
  }
  return nullptr;
}
