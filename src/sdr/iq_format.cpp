// IQ sample formats.
#include "sdr/iq_format.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace skelmar {

namespace {

bool SameName(const char* a, const char* b) {
  for (; *a != 0 && *b != 0; ++a, ++b) {
    const char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
    if (x != *b) return false;
  }
  return *a == 0 && *b == 0;
}

}  // namespace

size_t IqSampleBytes(IqFormat format) {
  switch (format) {
    case IqFormat::kCu8:
    case IqFormat::kCs8:
      return 2;
    case IqFormat::kCs16:
      return 4;
    case IqFormat::kCf32:
      return 8;
    case IqFormat::kUnknown:
      break;
  }
  return 0;
}

IqFormat IqFormatByName(const char* name) {
  struct Entry {
    const char* name;
    IqFormat format;
  };
  static constexpr Entry kNames[] = {{"cu8", IqFormat::kCu8},    {"cs8", IqFormat::kCs8},
                                     {"ci8", IqFormat::kCs8},    {"cs16", IqFormat::kCs16},
                                     {"ci16", IqFormat::kCs16},  {"cs16le", IqFormat::kCs16},
                                     {"cf32", IqFormat::kCf32},  {"fc32", IqFormat::kCf32},
                                     {"cfile", IqFormat::kCf32}, {"cf32le", IqFormat::kCf32}};
  for (const Entry& e : kNames) {
    if (SameName(name, e.name)) return e.format;
  }
  return IqFormat::kUnknown;
}

IqFormat IqFormatByExtension(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* base = slash != nullptr ? slash + 1 : path;
  const char* dot = std::strrchr(base, '.');
  if (dot == nullptr) return IqFormat::kUnknown;
  return IqFormatByName(dot + 1);
}

IqFormat IqFormatBySigmfType(const char* datatype) {
  if (std::strcmp(datatype, "cu8") == 0) return IqFormat::kCu8;
  if (std::strcmp(datatype, "ci8") == 0) return IqFormat::kCs8;
  if (std::strcmp(datatype, "ci16_le") == 0) return IqFormat::kCs16;
  if (std::strcmp(datatype, "cf32_le") == 0) return IqFormat::kCf32;
  return IqFormat::kUnknown;
}

const char* IqFormatName(IqFormat format) {
  switch (format) {
    case IqFormat::kCu8:
      return "cu8";
    case IqFormat::kCs8:
      return "cs8";
    case IqFormat::kCs16:
      return "cs16";
    case IqFormat::kCf32:
      return "cf32";
    case IqFormat::kUnknown:
      break;
  }
  return "unknown";
}

void ConvertIq(IqFormat format, const uint8_t* bytes, size_t count, float* i, float* q) {
  switch (format) {
    case IqFormat::kCu8: {
      // 0..255 with the zero half-way between 127 and 128.
      constexpr float kScale = 1.0f / 127.5f;
      for (size_t n = 0; n < count; ++n) {
        i[n] = (static_cast<float>(bytes[2 * n]) - 127.5f) * kScale;
        q[n] = (static_cast<float>(bytes[2 * n + 1]) - 127.5f) * kScale;
      }
      break;
    }
    case IqFormat::kCs8: {
      constexpr float kScale = 1.0f / 128.0f;
      for (size_t n = 0; n < count; ++n) {
        i[n] = static_cast<float>(static_cast<int8_t>(bytes[2 * n])) * kScale;
        q[n] = static_cast<float>(static_cast<int8_t>(bytes[2 * n + 1])) * kScale;
      }
      break;
    }
    case IqFormat::kCs16: {
      constexpr float kScale = 1.0f / 32768.0f;
      for (size_t n = 0; n < count; ++n) {
        const auto* b = bytes + 4 * n;
        i[n] = static_cast<float>(static_cast<int16_t>(b[0] | (b[1] << 8))) * kScale;
        q[n] = static_cast<float>(static_cast<int16_t>(b[2] | (b[3] << 8))) * kScale;
      }
      break;
    }
    case IqFormat::kCf32: {
      for (size_t n = 0; n < count; ++n) {
        // Little-endian on the disk and on every machine this builds for.
        std::memcpy(&i[n], bytes + 8 * n, 4);
        std::memcpy(&q[n], bytes + 8 * n + 4, 4);
        // NaN and infinities (a broken file) count as silence, not as poison for the filters.
        if (!(i[n] > -1e6f && i[n] < 1e6f)) i[n] = 0;
        if (!(q[n] > -1e6f && q[n] < 1e6f)) q[n] = 0;
      }
      break;
    }
    case IqFormat::kUnknown:
      std::memset(i, 0, count * sizeof(float));
      std::memset(q, 0, count * sizeof(float));
      break;
  }
}

bool ParseFrequency(const char* text, double& hz) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text) return false;
  if (*end == 'k' || *end == 'K') {
    value *= 1e3;
    ++end;
  } else if (*end == 'M') {
    value *= 1e6;
    ++end;
  } else if (*end == 'G' || *end == 'g') {
    value *= 1e9;
    ++end;
  }
  if (*end != 0 || !std::isfinite(value)) return false;
  hz = value;
  return true;
}

}  // namespace skelmar
