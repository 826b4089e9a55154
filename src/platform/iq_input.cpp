// IQ capture files and pipes, and the FM receiver as an audio input.
#include "platform/iq_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace skelmar {

namespace {

bool EndsWith(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

uint32_t Le32(const uint8_t* b) {
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}
uint16_t Le16(const uint8_t* b) { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }

/// The value of `"key": ...` in a JSON text, as the text up to the next ',' or
/// '}' (strings without their quotes). Enough for SigMF's flat core fields.
std::optional<std::string> JsonValue(const std::string& json, const char* key, size_t from = 0) {
  const std::string quoted = std::string("\"") + key + "\"";
  size_t at = json.find(quoted, from);
  if (at == std::string::npos) return std::nullopt;
  at = json.find(':', at + quoted.size());
  if (at == std::string::npos) return std::nullopt;
  ++at;
  while (at < json.size() && std::isspace(static_cast<unsigned char>(json[at]))) ++at;
  if (at < json.size() && json[at] == '"') {
    const size_t end = json.find('"', at + 1);
    if (end == std::string::npos) return std::nullopt;
    return json.substr(at + 1, end - at - 1);
  }
  size_t end = at;
  while (end < json.size() && json[end] != ',' && json[end] != '}' && json[end] != ']' &&
         !std::isspace(static_cast<unsigned char>(json[end]))) {
    ++end;
  }
  return json.substr(at, end - at);
}

}  // namespace

// ------------------------------------------------------------------ files

IqFileStream::IqFileStream(std::string path, std::string formatName, double sampleRate)
    : path_(std::move(path)), formatName_(std::move(formatName)), givenRate_(sampleRate) {}

IqFileStream::~IqFileStream() { Close(); }

void IqFileStream::Close() {
  if (fd_ >= 0 && ownFd_) ::close(fd_);
  fd_ = -1;
}

bool IqFileStream::OpenSigmf(const std::string& base) {
  const std::string meta = base + ".sigmf-meta";
  std::ifstream in(meta);
  if (!in) {
    error_.Set("cannot read the SigMF metadata \"%s\": %s", meta.c_str(), std::strerror(errno));
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  const std::string json = text.str();
  const auto type = JsonValue(json, "core:datatype");
  if (!type) {
    error_.Set("the SigMF metadata \"%s\" has no core:datatype", meta.c_str());
    return false;
  }
  format_ = IqFormatBySigmfType(type->c_str());
  if (format_ == IqFormat::kUnknown) {
    error_.Set("SigMF datatype \"%s\" is not one this receiver reads (cu8, ci8, ci16_le, cf32_le)",
               type->c_str());
    return false;
  }
  if (const auto rate = JsonValue(json, "core:sample_rate")) sampleRate_ = std::atof(rate->c_str());
  // The first capture segment's centre frequency.
  const size_t captures = json.find("\"captures\"");
  if (captures != std::string::npos) {
    if (const auto f = JsonValue(json, "core:frequency", captures)) {
      center_ = std::atof(f->c_str());
    }
  }
  const std::string data = base + ".sigmf-data";
  fd_ = ::open(data.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error_.Set("cannot open the SigMF data \"%s\": %s", data.c_str(), std::strerror(errno));
    return false;
  }
  ownFd_ = true;
  return true;
}

long IqFileStream::RawRead(uint8_t* to, size_t bytes) {
  size_t done = 0;
  if (pushbackAt_ < pushback_.size()) {
    done = std::min(bytes, pushback_.size() - pushbackAt_);
    std::memcpy(to, pushback_.data() + pushbackAt_, done);
    pushbackAt_ += done;
    if (done == bytes) return static_cast<long>(done);
  }
  for (;;) {
    const ssize_t got = ::read(fd_, to + done, bytes - done);
    if (got < 0) {
      if (errno == EINTR && !StopRequested()) continue;
      if (errno == EINTR) return static_cast<long>(done);
      if (done > 0) return static_cast<long>(done);
      error_.Set("cannot read the IQ capture \"%s\": %s", path_.c_str(), std::strerror(errno));
      return -1;
    }
    return static_cast<long>(done + static_cast<size_t>(got));
  }
}

bool IqFileStream::ReadWavHeader() {
  // RIFF, then chunks until "data"; the format chunk says what the samples are.
  auto readAll = [this](uint8_t* to, size_t n) {
    size_t have = 0;
    while (have < n) {
      const long got = RawRead(to + have, n - have);
      if (got <= 0) return false;
      have += static_cast<size_t>(got);
    }
    return true;
  };
  uint8_t head[12];
  if (!readAll(head, 12) || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "WAVE", 4) != 0) {
    error_.Set("\"%s\" is not a WAV file", path_.c_str());
    return false;
  }
  int channels = 0, bits = 0, tag = 0;
  uint32_t rate = 0;
  for (;;) {
    uint8_t chunk[8];
    if (!readAll(chunk, 8)) {
      error_.Set("the WAV file \"%s\" has no data", path_.c_str());
      return false;
    }
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      // Streams written before their length was known say 0 or 0xFFFFFFFF.
      if (size != 0 && size != 0xFFFFFFFFu) remaining_ = size;
      break;
    }
    std::vector<uint8_t> body(std::min<uint32_t>(size + (size & 1), 1u << 20));
    if (!readAll(body.data(), body.size())) {
      error_.Set("the WAV file \"%s\" ends in its header", path_.c_str());
      return false;
    }
    if (std::memcmp(chunk, "fmt ", 4) == 0 && body.size() >= 16) {
      tag = Le16(body.data());
      channels = Le16(body.data() + 2);
      rate = Le32(body.data() + 4);
      bits = Le16(body.data() + 14);
      if (tag == 0xFFFE && body.size() >= 26) tag = Le16(body.data() + 24);  // extensible
    }
  }
  if (channels != 2) {
    error_.Set("the WAV file \"%s\" has %d channels; an IQ recording has two (I and Q)",
               path_.c_str(), channels);
    return false;
  }
  if (tag == 1 && bits == 16) {
    format_ = IqFormat::kCs16;
  } else if (tag == 1 && bits == 8) {
    format_ = IqFormat::kCu8;
  } else if (tag == 3 && bits == 32) {
    format_ = IqFormat::kCf32;
  } else {
    error_.Set(
        "the WAV file \"%s\" holds %d-bit samples of format %d; IQ WAV files are 8 or "
        "16-bit PCM or 32-bit float",
        path_.c_str(), bits, tag);
    return false;
  }
  sampleRate_ = rate;
  return true;
}

bool IqFileStream::Open() {
  error_.Clear();
  ClearInterrupt();
  Close();
  format_ = IqFormat::kUnknown;
  sampleRate_ = givenRate_;
  center_.reset();
  remaining_ = UINT64_MAX;
  pushback_.clear();
  pushbackAt_ = 0;
  carry_ = 0;

  std::string name = formatName_;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // SigMF: either file of the pair, or their common stem.
  std::string stem = path_;
  bool sigmf = name == "sigmf";
  for (const char* ext : {".sigmf-meta", ".sigmf-data"}) {
    if (EndsWith(path_, ext)) {
      stem = path_.substr(0, path_.size() - std::strlen(ext));
      sigmf = name.empty() || sigmf;
    }
  }
  if (name.empty() && !sigmf && path_ != "-" && !Exists(path_) && Exists(path_ + ".sigmf-meta")) {
    sigmf = true;
  }
  if (sigmf) {
    if (!OpenSigmf(stem)) return false;
  } else {
    if (path_ == "-") {
      fd_ = STDIN_FILENO;
      ownFd_ = false;
    } else {
      do {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);  // a FIFO waits here for its writer
      } while (fd_ < 0 && errno == EINTR && !StopRequested());
      if (fd_ < 0) {
        error_.Set("cannot open the IQ capture \"%s\": %s", path_.c_str(), std::strerror(errno));
        return false;
      }
      ownFd_ = true;
    }
    if (!name.empty() && name != "wav") {
      format_ = IqFormatByName(name.c_str());
      if (format_ == IqFormat::kUnknown) {
        error_.Set("unknown IQ format \"%s\" (%s)", formatName_.c_str(), kIqFormatList);
        return false;
      }
    }
    if (format_ == IqFormat::kUnknown) {
      // A WAV header tells for itself, whatever the name says.
      uint8_t magic[4];
      size_t have = 0;
      while (have < 4) {
        const long got = RawRead(magic + have, 4 - have);
        if (got <= 0) break;
        have += static_cast<size_t>(got);
      }
      pushback_.assign(magic, magic + have);
      pushbackAt_ = 0;
      if (have == 4 && std::memcmp(magic, "RIFF", 4) == 0) {
        if (!ReadWavHeader()) return false;
      } else if (name == "wav") {
        error_.Set("\"%s\" is not a WAV file", path_.c_str());
        return false;
      } else {
        format_ = IqFormatByExtension(path_.c_str());
        if (format_ == IqFormat::kUnknown) {
          error_.Set(
              "cannot tell the sample format of \"%s\" from its name: give --iq-format "
              "(%s)",
              path_.c_str(), kIqFormatList);
          return false;
        }
      }
    }
  }
  if (sampleRate_ <= 0) {
    error_.Set("the sample rate of \"%s\" is not known: give --rate", path_.c_str());
    return false;
  }
  return true;
}

long IqFileStream::Read(uint8_t* bytes, size_t count) {
  if (fd_ < 0) {
    error_.Set("the IQ capture \"%s\" is not open", path_.c_str());
    return -1;
  }
  const size_t unit = IqSampleBytes(format_);
  for (;;) {
    if (remaining_ == 0 || StopRequested()) return 0;
    std::memcpy(bytes, partial_, carry_);
    const size_t want = static_cast<size_t>(std::min<uint64_t>(count * unit - carry_, remaining_));
    const long got = RawRead(bytes + carry_, want);
    if (got < 0) return -1;
    if (got == 0) {
      carry_ = 0;  // a trailing part of a sample is none
      return 0;
    }
    if (remaining_ != UINT64_MAX) remaining_ -= static_cast<uint64_t>(got);
    const size_t have = carry_ + static_cast<size_t>(got);
    const size_t samples = have / unit;
    carry_ = have - samples * unit;
    std::memcpy(partial_, bytes + samples * unit, carry_);
    if (samples > 0) return static_cast<long>(samples);
  }
}

// --------------------------------------------------------------- receiver

IqReceiverInput::IqReceiverInput(std::unique_ptr<IqStream> stream, const IqTuning& tuning)
    : stream_(std::move(stream)), tuning_(tuning) {}

IqReceiverInput::~IqReceiverInput() { Close(); }

void IqReceiverInput::SetStopFlag(const std::atomic<bool>* stop) {
  AudioInput::SetStopFlag(stop);
  stream_->SetStopFlag(stop);
}

bool IqReceiverInput::Open() {
  error_.Clear();
  if (!stream_->Open()) {
    error_.Set("%s", stream_->lastError());
    return false;
  }
  const double rate = stream_->sampleRate();
  if (!ChannelReceiver::RateSupported(rate)) {
    error_.Set("unsupported IQ sample rate %.0f S/s (%.0f to %.0f)", rate, kMinIqRate, kMaxIqRate);
    stream_->Close();
    return false;
  }
  const double center = tuning_.centerHz.value_or(stream_->centerHz().value_or(0.0));
  const double ppm = tuning_.ppm - stream_->ppmApplied();
  ChannelOptions options;
  options.sampleRate = rate;
  const double channel = tuning_.channelHz.value_or(center);
  options.offsetHz = ChannelOffsetHz(channel, center, ppm);
  if (std::fabs(options.offsetHz) > 0.5 * rate - 12500.0) {
    error_.Set("the channel %.6f MHz lies outside the capture (%.6f MHz +- %.3f MHz)",
               channel / 1e6, center / 1e6, (0.5 * rate - 12500.0) / 1e6);
    stream_->Close();
    return false;
  }
  tunedHz_.reset();
  if (tuning_.centerHz || stream_->centerHz()) tunedHz_ = channel;
  front_.emplace(rate);
  receiver_.emplace(options);
  raw_.assign(WidebandFront::kBlock * IqSampleBytes(stream_->format()), 0);
  audio_.assign(receiver_->MaxAudio(WidebandFront::kBlock), 0.0f);
  audioAt_ = audioHeld_ = 0;
  samples_ = 0;
  return true;
}

void IqReceiverInput::Close() { stream_->Close(); }

long IqReceiverInput::Read(float* out, size_t count) {
  while (audioAt_ == audioHeld_) {
    const long got = stream_->Read(raw_.data(), WidebandFront::kBlock);
    if (got < 0) {
      error_.Set("%s", stream_->lastError());
      return -1;
    }
    if (got == 0) return 0;
    samples_ += static_cast<uint64_t>(got);
    const IqBlock block = front_->Convert(stream_->format(), raw_.data(), static_cast<size_t>(got));
    audioHeld_ = receiver_->Process(block, audio_.data());
    audioAt_ = 0;
  }
  const size_t n = std::min(count, audioHeld_ - audioAt_);
  std::memcpy(out, audio_.data() + audioAt_, n * sizeof(float));
  audioAt_ += n;
  return static_cast<long>(n);
}

}  // namespace skelmar
