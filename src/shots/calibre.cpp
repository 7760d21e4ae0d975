// calibre.cpp - the words a shooter types for a calibre and a hole look.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "shots/shots.h"

namespace holescan::shots {
namespace {

constexpr double kMmPerInch = 25.4;

std::string Lower(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

// A plain decimal number: digits with at most one point, at least one digit; no sign, no
// exponent, so "1e3mm" or "-4.5" are refused rather than read as something surprising.
std::optional<double> PlainNumber(std::string_view text) {
  int digits = 0;
  int points = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.') {
      ++points;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || points > 1 || text.size() > 32) return std::nullopt;
  std::string padded = text.front() == '.' ? "0" + std::string(text) : std::string(text);
  double value = 0;
  auto [end, error] = std::from_chars(padded.data(), padded.data() + padded.size(), value);
  if (error != std::errc() || end != padded.data() + padded.size()) return std::nullopt;
  return value;
}

std::string OneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::optional<double> ParseCalibreMm(std::string_view text, std::string* reason) {
  const std::string lower = Lower(Trim(text));
  std::string_view number = lower;
  double unit = 1;
  if (EndsWith(number, "mm")) {
    number.remove_suffix(2);
  } else if (EndsWith(number, "in")) {
    number.remove_suffix(2);
    unit = kMmPerInch;
  }
  const std::optional<double> value = PlainNumber(Trim(number));
  const double mm = value ? *value * unit : 0;
  if (value && std::isfinite(mm) && mm >= kMinCalibreMm && mm <= kMaxCalibreMm) return mm;
  if (reason) {
    *reason = "calibre \"" + std::string(text) +
              "\" not understood: give millimetres or inches between 2 and 25 mm, as in 4.5mm, "
              "5.6mm, 9mm, 0.177in, .22in or 4.5 (millimetres)";
  }
  return std::nullopt;
}

std::optional<HoleLook> ParseHoleLook(std::string_view text) {
  const std::string lower = Lower(Trim(text));
  if (lower == "auto") return HoleLook::Auto;
  if (lower == "dark") return HoleLook::Dark;
  if (lower == "light") return HoleLook::Light;
  return std::nullopt;
}

std::string_view HoleLookName(HoleLook look) {
  switch (look) {
    case HoleLook::Dark:
      return "dark";
    case HoleLook::Light:
      return "light";
    case HoleLook::Auto:
      break;
  }
  return "auto";
}

double HoleDiameterPx(const ShotSettings& settings) {
  return settings.calibreMm * settings.dpi / kMmPerInch;
}

std::optional<std::string> SettingsProblem(const ShotSettings& settings) {
  if (!(settings.calibreMm > 0) || !std::isfinite(settings.calibreMm)) {
    return "the calibre must be a positive number of millimetres";
  }
  if (!(settings.dpi > 0) || !std::isfinite(settings.dpi)) {
    return "the resolution must be a positive number of pixels per inch";
  }
  const double diameter = HoleDiameterPx(settings);
  if (diameter < kMinHoleDiameterPx) {
    return "a hole of this calibre is only " + OneDecimal(diameter) +
           " pixels across at this resolution; at least 6 are needed";
  }
  if (diameter > kMaxHoleDiameterPx) {
    return "a hole of this calibre would be " + OneDecimal(diameter) +
           " pixels across at this resolution; at most 1000 are supported";
  }
  return std::nullopt;
}

}  // namespace holescan::shots
