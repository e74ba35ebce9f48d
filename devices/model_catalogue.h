#pragma once
// The model list shown to the operator, in its order, with the class serving
// each entry. Shared by the window and veltrix-cli.
//
// Thread contract: constant data and lookups, callable from any thread.

#include <memory>
#include <span>
#include <string_view>

#include "devices/ikor.h"

struct ModelEntry {
  const char* name;        // as listed, e.g. "KOR 73"
  const char* class_name;  // e.g. "kor73"
  std::unique_ptr<ikor> (*create)();
};

std::span<const ModelEntry> model_catalogue();

// nullptr when `name` is not one of the listed models.
const ModelEntry* find_model(std::string_view name);
