// Wideband IQ sample formats as SDR tools write them, and their conversion to
// complex float (full scale +-1.0), I and Q in separate arrays.
#pragma once

#include <cstddef>
#include <cstdint>

namespace skelmar {

enum class IqFormat {
  kUnknown,
  kCu8,   ///< unsigned 8-bit interleaved, 127.5 is zero (rtl_sdr, rtl_tcp)
  kCs8,   ///< signed 8-bit interleaved (hackrf_transfer)
  kCs16,  ///< signed 16-bit little-endian interleaved
  kCf32,  ///< 32-bit float little-endian interleaved (GNU Radio, SDR++, SDRangel raw)
};

/// Bytes of one complex sample.
size_t IqSampleBytes(IqFormat format);

/// "cu8", "cs8", "cs16", "cf32" (and "cfile", "fc32", "ci8", "ci16", "cs16le"
/// spellings); kUnknown otherwise.
IqFormat IqFormatByName(const char* name);
/// The format a file name's extension names, kUnknown when it names none.
IqFormat IqFormatByExtension(const char* path);
/// A SigMF `core:datatype` ("cu8", "ci8", "ci16_le", "cf32_le"); kUnknown for
/// the others (big-endian, real, wider integers).
IqFormat IqFormatBySigmfType(const char* datatype);
const char* IqFormatName(IqFormat format);

/// Converts `count` complex samples of `bytes` into I and Q.
void ConvertIq(IqFormat format, const uint8_t* bytes, size_t count, float* i, float* q);

/// Parses a frequency or rate: a decimal number with an optional k, M or G
/// suffix ("169.65M", "1024k", "2.4e6", "-25k").
bool ParseFrequency(const char* text, double& hz);

}  // namespace skelmar
