// Vantry's reply handling: the whole dialogue against a modem line whose
// every character and silence comes from the input.
#include <cstdio>
#include <string>

#include "sender/tap_session.h"

using namespace vantry;

namespace {

class FuzzPort : public Port {
 public:
  FuzzPort(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  long long now = 0;
  void Write(unsigned char) override {}
  void Drain() override {}
  int Read(int timeout_ms) override {
    if (pos_ >= size_) {
      now += timeout_ms;  // silence once the input is used up
      return kNone;
    }
    const uint8_t b = data_[pos_++];
    if (b == 0xFF) {
      now += timeout_ms;
      return kNone;
    }
    if (b == 0xFE && pos_ > size_ / 2) return interrupted_ = true, kInterrupted;
    if (interrupted_) return kInterrupted;
    now += 9;  // a character at 1200 bit/s
    return b & 0x7F;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool interrupted_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPort port(data, size);
  std::FILE* out = std::fopen("/dev/null", "w");
  if (out == nullptr) return 0;
  TapSession session(port, out, 1.0, [&port] { return port.now; });
  session.Run("COM1", "5551234", "1234567", "fuzz page");
  std::fclose(out);
  return 0;
}
