#include "eval/truth.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace holescan::eval {
namespace {

using nlohmann::json;

constexpr std::uintmax_t kMaxTruthBytes = 64u << 20;

struct Refusal {
  std::string reason;
};

double Number(const json& value, const std::string& where) {
  if (!value.is_number()) throw Refusal{where + " is not a number"};
  const double v = value.get<double>();
  if (!std::isfinite(v)) throw Refusal{where + " is not finite"};
  return v;
}

// As the scoring script reads it: true, a non-zero number; false, 0, null or absent.
bool Flag(const json& object, const char* key, const std::string& where) {
  const auto it = object.find(key);
  if (it == object.end() || it->is_null()) return false;
  if (it->is_boolean()) return it->get<bool>();
  if (it->is_number()) return it->get<double>() != 0;
  throw Refusal{where + "." + key + " is not true or false"};
}

std::string Text(const json& object, const char* key, const std::string& where) {
  const auto it = object.find(key);
  if (it == object.end() || it->is_null()) return {};
  if (!it->is_string()) throw Refusal{where + "." + key + " is not a string"};
  return it->get<std::string>();
}

std::vector<double> Numbers(const json& value, std::size_t count, const std::string& where) {
  if (!value.is_array() || value.size() != count) {
    throw Refusal{where + " is not an array of " + std::to_string(count) + " numbers"};
  }
  std::vector<double> numbers;
  for (std::size_t i = 0; i < count; ++i) {
    numbers.push_back(Number(value[i], where + "[" + std::to_string(i) + "]"));
  }
  return numbers;
}

Truth Parse(const json& root, const std::string& fallbackName) {
  Truth truth;
  truth.name = Text(root, "name", "the file");
  if (truth.name.empty()) truth.name = fallbackName;
  truth.image = Text(root, "image", "the file");
  truth.look = Text(root, "look", "the file");
  truth.holeDiameterPx = Number(root["hole_diameter_px"], "hole_diameter_px");
  if (!(truth.holeDiameterPx > 0)) throw Refusal{"hole_diameter_px is not positive"};

  const auto holes = root.find("holes");
  if (holes == root.end() || !holes->is_array()) throw Refusal{"holes is not an array"};
  for (std::size_t i = 0; i < holes->size(); ++i) {
    const json& item = (*holes)[i];
    const std::string where = "holes[" + std::to_string(i) + "]";
    if (!item.is_object()) throw Refusal{where + " is not an object"};
    TruthHole hole;
    hole.x = Number(item.value("x", json()), where + ".x");
    hole.y = Number(item.value("y", json()), where + ".y");
    if (item.contains("r") && !item["r"].is_null()) hole.r = Number(item["r"], where + ".r");
    hole.uncertain = Flag(item, "uncertain", where);
    if (item.contains("look") && !item["look"].is_null()) hole.look = Text(item, "look", where);
    truth.holes.push_back(std::move(hole));
  }

  const auto regions = root.find("ignore_regions");
  if (regions != root.end() && !regions->is_null()) {
    if (!regions->is_array()) throw Refusal{"ignore_regions is not an array"};
    for (std::size_t i = 0; i < regions->size(); ++i) {
      const json& item = (*regions)[i];
      const std::string where = "ignore_regions[" + std::to_string(i) + "]";
      if (!item.is_object()) throw Refusal{where + " is not an object"};
      bool known = false;
      if (item.contains("rect")) {
        const auto v = Numbers(item["rect"], 4, where + ".rect");
        truth.ignoreRegions.push_back({IgnoreRegion::Kind::Rect, v[0], v[1], v[2], v[3]});
        known = true;
      }
      if (item.contains("outside_circle")) {
        const auto v = Numbers(item["outside_circle"], 3, where + ".outside_circle");
        truth.ignoreRegions.push_back({IgnoreRegion::Kind::OutsideCircle, v[0], v[1], v[2], 0});
        known = true;
      }
      if (!known) throw Refusal{where + " is neither a rect nor an outside_circle"};
    }
  }
  return truth;
}

}  // namespace

TruthRead ParseTruth(std::string_view text, const std::string& name) {
  TruthRead read;
  json root;
  try {
    root = json::parse(text.begin(), text.end());
  } catch (const json::exception&) {
    read.reason = "not JSON";
    read.isTruth = false;
    return read;
  }
  if (!root.is_object() || !root.contains("hole_diameter_px")) {
    read.reason = "not a truth file (no hole_diameter_px)";
    read.isTruth = false;
    return read;
  }
  try {
    read.truth = Parse(root, name);
  } catch (const Refusal& refusal) {
    read.reason = refusal.reason;
  } catch (const json::exception& error) {
    read.reason = error.what();
  }
  return read;
}

TruthRead ReadTruthFile(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return {std::nullopt, "cannot read: " + error.message(), true};
  if (size > kMaxTruthBytes) return {std::nullopt, "larger than 64 MiB", true};
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in && !in.eof()) return {std::nullopt, "cannot read", true};
  return ParseTruth(text, std::filesystem::path(path).stem().string());
}

bool InIgnoreRegion(double x, double y, std::span<const IgnoreRegion> regions) {
  for (const IgnoreRegion& g : regions) {
    if (g.kind == IgnoreRegion::Kind::Rect) {
      if (g.a <= x && x < g.c && g.b <= y && y < g.d) return true;
    } else if (std::hypot(x - g.a, y - g.b) > g.c) {
      return true;
    }
  }
  return false;
}

}  // namespace holescan::eval
