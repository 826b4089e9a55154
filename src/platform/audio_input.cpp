// Raw PCM, libsndfile and ALSA audio inputs.
#include "platform/audio_input.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend/audio_slicer.h"

namespace skelmar {

namespace {

void CopyName(char* out, size_t capacity, const char* name) {
  std::snprintf(out, capacity, "%s", name ? name : "");
}

// The usual remedy for an ALSA open failure, or "" when none is plain.
const char* AlsaOpenHint(int rc) {
  switch (-rc) {
    case EACCES:
    case EPERM:
      return " (the sound devices belong to the 'audio' group: sudo usermod -aG audio $USER, "
             "then log in again)";
    case EBUSY:
      return " (another program is capturing from it; try the \"plughw:\" or \"default\" form)";
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return " (arecord -l lists the capture devices; name one as hw:CARD,DEVICE)";
    default:
      return "";
  }
}

}  // namespace

void AudioErrorText::Set(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(text_, sizeof text_, format, args);
  va_end(args);
}

// ---------------------------------------------------------------- raw PCM

PcmInput::PcmInput(const char* path, int sampleRate) : sampleRate_(sampleRate) {
  CopyName(path_, sizeof path_, path);
}

PcmInput::PcmInput(int fd, int sampleRate, bool owned)
    : givenFd_(fd), owned_(owned), sampleRate_(sampleRate) {
  CopyName(path_, sizeof path_, "(descriptor)");
}

PcmInput::~PcmInput() { Close(); }

bool PcmInput::Open() {
  error_.Clear();
  carry_ = 0;
  if (!AudioSlicer::RateSupported(sampleRate_)) {
    error_.Set("unsupported sample rate %d Hz for raw audio (8000 to 192000 Hz)", sampleRate_);
    return false;
  }
  if (fd_ >= 0) return true;
  if (givenFd_ >= 0) {
    fd_ = givenFd_;
  } else if (std::strcmp(path_, "-") == 0) {
    fd_ = STDIN_FILENO;
    owned_ = false;
  } else {
    do {
      fd_ = ::open(path_, O_RDONLY | O_CLOEXEC);  // a FIFO waits here for its writer
    } while (fd_ < 0 && errno == EINTR && !StopRequested());
    owned_ = true;
    if (fd_ < 0) {
      error_.Set("cannot open raw audio \"%s\": %s", path_, std::strerror(errno));
      return false;
    }
  }
  return true;
}

void PcmInput::Close() {
  if (fd_ >= 0 && owned_) ::close(fd_);
  if (fd_ >= 0 && fd_ == givenFd_) givenFd_ = -1;
  fd_ = -1;
}

long PcmInput::Read(float* out, size_t count) {
  if (fd_ < 0) {
    error_.Set("raw audio \"%s\" is not open", path_);
    return -1;
  }
  count = std::min(count, kBlock);
  if (count == 0) return 0;
  for (;;) {
    const ssize_t got = ::read(fd_, bytes_ + carry_, 2 * count - carry_);
    if (got < 0) {
      if (errno == EINTR && !StopRequested()) continue;
      if (errno == EINTR) return 0;  // the user stopped the program
      error_.Set("cannot read raw audio \"%s\": %s", path_, std::strerror(errno));
      return -1;
    }
    if (got == 0) {
      carry_ = 0;  // a lone trailing byte is not a sample
      return 0;
    }
    const size_t have = carry_ + static_cast<size_t>(got);
    const size_t samples = have / 2;
    for (size_t i = 0; i < samples; ++i) {
      const auto value =
          static_cast<int16_t>(static_cast<uint16_t>(bytes_[2 * i] | (bytes_[2 * i + 1] << 8)));
      out[i] = static_cast<float>(value) * (1.0f / 32768.0f);
    }
    carry_ = have & 1;
    if (carry_) bytes_[0] = bytes_[have - 1];
    if (samples > 0) return static_cast<long>(samples);
  }
}

// ---------------------------------------------------------------- libsndfile

namespace {

/// What a WAV file's header says of its data against what the file holds.
struct WavData {
  bool found = false;          ///< a RIFF/WAVE file with a data chunk
  unsigned long declared = 0;  ///< the data chunk's length as its header gives it
  long long present = 0;       ///< bytes that follow the data chunk's header
};

WavData ReadWavData(const char* path) {
  WavData out;
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return out;
  unsigned char head[12];
  if (std::fread(head, 1, sizeof head, f) == sizeof head && std::memcmp(head, "RIFF", 4) == 0 &&
      std::memcmp(head + 8, "WAVE", 4) == 0) {
    unsigned char chunk[8];
    // A few chunks at most come before the data; stop at a sane distance.
    for (int i = 0; i < 64 && std::fread(chunk, 1, sizeof chunk, f) == sizeof chunk; ++i) {
      const unsigned long size = chunk[4] | (chunk[5] << 8) | (chunk[6] << 16) |
                                 (static_cast<unsigned long>(chunk[7]) << 24);
      if (std::memcmp(chunk, "data", 4) == 0) {
        const long at = std::ftell(f);
        if (at >= 0 && std::fseek(f, 0, SEEK_END) == 0) {
          out.found = true;
          out.declared = size;
          out.present = std::ftell(f) - at;
        }
        break;
      }
      if (std::fseek(f, static_cast<long>(size + (size & 1)), SEEK_CUR) != 0) break;
    }
  }
  std::fclose(f);
  return out;
}

}  // namespace

SoundFileInput::SoundFileInput(const char* path) { CopyName(path_, sizeof path_, path); }

SoundFileInput::~SoundFileInput() { Close(); }

bool SoundFileInput::Open() {
  error_.Clear();
  if (file_) return true;
  SF_INFO info{};
  file_ = sf_open(path_, SFM_READ, &info);
  if (!file_) {
    error_.Set("cannot open sound file \"%s\": %s", path_, sf_strerror(nullptr));
    return false;
  }
  if (!AudioSlicer::RateSupported(info.samplerate)) {
    error_.Set("unsupported sample rate %d Hz in \"%s\" (8000 to 192000 Hz)", info.samplerate,
               path_);
    Close();
    return false;
  }
  if (info.channels < 1) {
    error_.Set("sound file \"%s\" has no channels", path_);
    Close();
    return false;
  }
  const WavData wav = ReadWavData(path_);
  // 0xFFFFFFFF is what streaming writers put in a length they cannot know.
  const bool streamed = wav.found && wav.declared == 0xFFFFFFFFul;
  if (info.frames == 0 && wav.found && wav.declared == 0 && wav.present > 0) {
    error_.Set(
        "sound file \"%s\": its header declares no audio data, yet %lld bytes follow it "
        "(a recording stopped before its header was finished?)",
        path_, wav.present);
    Close();
    return false;
  }
  // What the header promised, to tell a file cut short (an interrupted copy)
  // from one that ended where it said. libsndfile trims a WAV's length to
  // the file, so a WAV's own header is read for it.
  expectedFrames_ = streamed ? -1 : info.frames;
  if (wav.found && !streamed && info.frames > 0 && wav.present > 0 &&
      static_cast<long long>(wav.declared) > wav.present) {
    // Frames scale with bytes; the present part holds info.frames of them.
    expectedFrames_ = static_cast<long long>(static_cast<double>(info.frames) *
                                             static_cast<double>(wav.declared) /
                                             static_cast<double>(wav.present));
  }
  framesRead_ = 0;
  sampleRate_ = info.samplerate;
  channels_ = info.channels;
  frames_.assign(kBlock * static_cast<size_t>(channels_), 0.0f);
  return true;
}

void SoundFileInput::Close() {
  if (file_) sf_close(file_);
  file_ = nullptr;
}

long SoundFileInput::Read(float* out, size_t count) {
  if (!file_) {
    error_.Set("sound file \"%s\" is not open", path_);
    return -1;
  }
  count = std::min(count, kBlock);
  const sf_count_t got = sf_readf_float(file_, frames_.data(), static_cast<sf_count_t>(count));
  if (got <= 0) {
    const bool failed = sf_error(file_) != SF_ERR_NO_ERROR;
    if (expectedFrames_ > 0 && framesRead_ < expectedFrames_) {
      // Everything there was decoded; the rest never came (a cut FLAC also
      // makes the decoder lose its sync, which says less).
      const double missing = static_cast<double>(expectedFrames_ - framesRead_) / sampleRate_;
      const double whole = static_cast<double>(expectedFrames_) / sampleRate_;
      error_.Set(
          "sound file \"%s\" ends early: %.1f s of its %.1f s are missing (an "
          "interrupted copy?); what was there has been decoded",
          path_, missing, whole);
      expectedFrames_ = 0;
      return -1;
    }
    if (failed) {
      error_.Set("cannot read sound file \"%s\": %s", path_, sf_strerror(file_));
      return -1;
    }
    return 0;
  }
  framesRead_ += got;
  for (sf_count_t i = 0; i < got; ++i) out[i] = frames_[static_cast<size_t>(i * channels_)];
  return static_cast<long>(got);
}

// ---------------------------------------------------------------- ALSA

std::vector<CaptureDevice> ListCaptureDevices() {
  std::vector<CaptureDevice> devices;
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0 || hints == nullptr) return devices;
  for (void** hint = hints; *hint != nullptr; ++hint) {
    char* name = snd_device_name_get_hint(*hint, "NAME");
    char* description = snd_device_name_get_hint(*hint, "DESC");
    char* direction = snd_device_name_get_hint(*hint, "IOID");
    // No IOID: both directions.
    if (name != nullptr && (direction == nullptr || std::strcmp(direction, "Input") == 0) &&
        std::strcmp(name, "null") != 0) {
      CaptureDevice d{name, description != nullptr ? description : ""};
      for (char& c : d.description) {
        if (c == '\n') c = ' ';
      }
      if (d.name == "default") {
        devices.insert(devices.begin(), std::move(d));
      } else {
        devices.push_back(std::move(d));
      }
    }
    std::free(name);
    std::free(description);
    std::free(direction);
  }
  snd_device_name_free_hint(hints);
  return devices;
}

AlsaInput::AlsaInput(const char* device, int sampleRate) : sampleRate_(sampleRate) {
  CopyName(device_, sizeof device_, device);
}

AlsaInput::~AlsaInput() { Close(); }

bool AlsaInput::Open() {
  error_.Clear();
  if (pcm_) return true;
  if (!AudioSlicer::RateSupported(sampleRate_)) {
    error_.Set("unsupported sample rate %d Hz for audio capture (8000 to 192000 Hz)", sampleRate_);
    return false;
  }
  int rc = snd_pcm_open(&pcm_, device_, SND_PCM_STREAM_CAPTURE, 0);
  if (rc < 0) {
    pcm_ = nullptr;
    error_.Set("cannot open audio device \"%s\": %s%s", device_, snd_strerror(rc),
               AlsaOpenHint(rc));
    return false;
  }
  // 100 ms of device buffering; the plug layer converts when the card differs.
  rc = snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                          static_cast<unsigned>(sampleRate_), 1, 100000);
  if (rc < 0) {
    error_.Set("audio device \"%s\" cannot capture 16-bit mono at %d Hz: %s", device_, sampleRate_,
               snd_strerror(rc));
    Close();
    return false;
  }
  rc = snd_pcm_start(pcm_);
  if (rc < 0) {
    error_.Set("cannot start capture on audio device \"%s\": %s", device_, snd_strerror(rc));
    Close();
    return false;
  }
  return true;
}

void AlsaInput::Close() {
  if (pcm_) snd_pcm_close(pcm_);
  pcm_ = nullptr;
}

long AlsaInput::Read(float* out, size_t count) {
  if (!pcm_) {
    error_.Set("audio device \"%s\" is not open", device_);
    return -1;
  }
  count = std::min(count, kBlock);
  if (count == 0) return 0;
  for (;;) {
    const snd_pcm_sframes_t got = snd_pcm_readi(pcm_, samples_, count);
    if (got > 0) {
      for (snd_pcm_sframes_t i = 0; i < got; ++i)
        out[i] = static_cast<float>(samples_[i]) * (1.0f / 32768.0f);
      return static_cast<long>(got);
    }
    if (got == -EPIPE) xruns_.fetch_add(1, std::memory_order_relaxed);
    const int rc = got == 0 ? -EAGAIN : snd_pcm_recover(pcm_, static_cast<int>(got), 1);
    if (rc < 0 && rc != -EAGAIN) {
      error_.Set("audio capture from \"%s\" failed: %s", device_, snd_strerror(rc));
      return -1;
    }
  }
}

}  // namespace skelmar
