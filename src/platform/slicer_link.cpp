// Opening and closing the slicer's edge source on the configured serial port.
#include "platform/slicer_link.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include "output/filters.h"
#include "settings/settings.h"

namespace skelmar {

namespace fs = std::filesystem;

namespace {

std::optional<long> ReadNumberFile(const fs::path& file, int base) {
  std::ifstream in(file);
  std::string text;
  if (!in || !(in >> text)) return std::nullopt;
  try {
    size_t used = 0;
    const long value = std::stol(text, &used, base);  // base 16 accepts a 0x prefix
    if (used != text.size()) return std::nullopt;
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string NoDeviceCause(const Settings& settings) {
  char text[160];
  if (settings.comPort == 5) {
    std::snprintf(text, sizeof text,
                  "no serial port has I/O address 0x%X and IRQ %d (set SerialDevice or --serial "
                  "to name the device)",
                  static_cast<unsigned>(settings.comPortAddr), settings.comPortIrq);
  } else {
    std::snprintf(text, sizeof text,
                  "no serial device for COM port %d (set SerialDevice or --serial to name the "
                  "device)",
                  settings.comPort);
  }
  return text;
}

}  // namespace

const char* SlicerErrorMessage(int code) {
  switch (code) {
    case kEdgeErrorBusy:
      return "Error VxD not previously unloaded!";
    case kEdgeErrorAttach:
      return "Error attaching to COM port!";
    case kEdgeErrorMemory:
    case kEdgeErrorMemoryLocked:
      return "Error Allocating Memory for VxD!";
    default:
      return "Unknown Error from VxD!";
  }
}

std::optional<std::string> FindTtyByResources(const fs::path& sysRoot, int ioBase, int irq) {
  if (ioBase == 0) return std::nullopt;
  std::error_code ec;
  std::vector<std::string> matches;
  for (fs::directory_iterator it(sysRoot / "class" / "tty", ec), end; !ec && it != end;
       it.increment(ec)) {
    const fs::path entry = it->path();
    const std::optional<long> port = ReadNumberFile(entry / "port", 16);
    if (!port || *port != ioBase) continue;
    const std::optional<long> line = ReadNumberFile(entry / "irq", 10);
    if (!line || *line != irq) continue;
    matches.push_back(entry.filename().string());
  }
  if (matches.empty()) return std::nullopt;
  return *std::min_element(matches.begin(), matches.end());
}

std::optional<fs::path> SlicerDevicePath(const Settings& settings, const fs::path& sysRoot,
                                         const fs::path& devRoot) {
  if (settings.serialDevice[0] != '\0') {
    return fs::path(std::string(settings.serialDevice,
                                strnlen(settings.serialDevice, sizeof settings.serialDevice)));
  }
  if (settings.comPort >= 1 && settings.comPort <= 4) {
    return devRoot / ("ttyS" + std::to_string(settings.comPort - 1));
  }
  if (settings.comPort == 5) {
    if (auto name = FindTtyByResources(sysRoot, settings.comPortAddr, settings.comPortIrq)) {
      return devRoot / *name;
    }
  }
  return std::nullopt;
}

SlicerLink::SlicerLink(const Settings& settings, MessageSink& messages, SourceFactory factory,
                       const std::atomic<uint32_t>* readIndex, fs::path sysRoot, fs::path devRoot)
    : settings_(settings),
      messages_(messages),
      factory_(std::move(factory)),
      readIndex_(readIndex),
      sysRoot_(std::move(sysRoot)),
      devRoot_(std::move(devRoot)) {}

SlicerLink::~SlicerLink() { Close(); }

int SlicerLink::Open() {
  if (source_) {
    messages_.ShowMessage(SlicerErrorMessage(kEdgeErrorBusy));
    return 0;
  }
  const std::optional<fs::path> device = SlicerDevicePath(settings_, sysRoot_, devRoot_);
  devicePath_ = device ? device->string() : std::string();
  std::error_code ec;
  if (!device) {
    ShowWithCause(kSlicerLoadError, NoDeviceCause(settings_));
    return 0;
  }
  if (!fs::exists(*device, ec)) {
    ShowWithCause(kSlicerLoadError, devicePath_ + ": no such device");
    return 0;
  }
  std::unique_ptr<EdgeSource> source = factory_(devicePath_);
  if (!source) {
    messages_.ShowMessage(kSlicerLoadError);
    return 0;
  }
  const int result = source->Open(readIndex_);
  if (result <= 0) {
    // A ring of no entries is as unusable as an error.
    ShowWithCause(SlicerErrorMessage(result == 0 ? -99 : result), source->lastError());
    source->Close();
    return 0;
  }
  source_ = std::move(source);
  return 1;
}

void SlicerLink::ShowWithCause(const char* message, const std::string& cause) {
  // The fixed text comes first, so it reads as it always has; the cause says
  // which of its several reasons it was.
  if (cause.empty()) {
    messages_.ShowMessage(message);
    return;
  }
  const std::string text = std::string(message) + " " + cause;
  messages_.ShowMessage(text.c_str());
}

void SlicerLink::Close() {
  if (!source_) return;
  source_->Close();
  source_.reset();
}

}  // namespace skelmar
