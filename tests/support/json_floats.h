// json_floats.h - JSON read back with its numbers in single precision: the exact analysis's
// centres are floats, written as the shortest decimal that reads back as the same float, and
// nlohmann's layout of such a document is the one the JSON has always had.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace holescan::testing {

using FloatJson = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                       std::int64_t, std::uint64_t, float>;

}  // namespace holescan::testing
