// The slicer link: finds the serial device for the configured port, opens the
// edge source on it, reports failures with the link's fixed messages, and
// closes it again.
//
// Which failure gives which code and message:
//   no code  "Error Loading SLICER.VXD!": no device for the port (ComPort
//            outside 1..5 without SerialDevice; Custom with no tty at that
//            address and IRQ; the device file does not exist).
//   -1       "Error VxD not previously unloaded!": the device is held by
//            another program (flock, TIOCEXCL, EBUSY) or the source is
//            already open.
//   -2       "Error attaching to COM port!": the device cannot be opened
//            (permissions, no UART behind it), is not a terminal, termios or
//            TIOCMGET fail, or the driver cannot wait for line changes (the
//            first TIOCMIWAIT fails at once).
//   -3, -4   "Error Allocating Memory for VxD!": the ring cannot be allocated
//            (-4 is never produced by the serial source).
//   other    "Unknown Error from VxD!": the capture thread cannot start (-5),
//            a ring size of 0, any other code.
//
// Each message is followed by the cause the source recorded (its lastError(),
// e.g. "/dev/null: not a serial port"), with a hint where one is plain.
//
// Port identity: a non-empty "SerialDevice" names the device directly (USB
// adapters and any other tty) and takes precedence over "ComPort"; otherwise
// ComPort 1 to 4 is /dev/ttyS0 to /dev/ttyS3, and Custom (5) is the tty whose
// I/O base address and IRQ in sysfs (/sys/class/tty/NAME/port and irq) equal
// "ComPortAddr" and "ComPortIRQ". The caller opens the link only while ComPort
// is not 0, as for the standard ports.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "frontend/edge_source.h"

namespace skelmar {

struct Settings;
class MessageSink;

/// The message the link shows for an open code (negative).
const char* SlicerErrorMessage(int code);
inline constexpr const char* kSlicerLoadError = "Error Loading SLICER.VXD!";

/// The tty under `sysRoot`/class/tty whose port and irq files hold `ioBase`
/// and `irq`, as "/dev"-relative name (e.g. "ttyS1"); the first by name when
/// several match. An address of 0 matches nothing (unused ports show 0).
std::optional<std::string> FindTtyByResources(const std::filesystem::path& sysRoot, int ioBase,
                                              int irq);

/// The device path for the settings, or nothing when no device corresponds.
/// Existence is not checked here.
std::optional<std::filesystem::path> SlicerDevicePath(const Settings& settings,
                                                      const std::filesystem::path& sysRoot,
                                                      const std::filesystem::path& devRoot);

class SlicerLink {
 public:
  using SourceFactory = std::function<std::unique_ptr<EdgeSource>(const std::string& devicePath)>;

  /// `readIndex` is the front end's published read position, so the source
  /// never laps the reader. `sysRoot` and `devRoot` are "/sys" and "/dev" in
  /// the program.
  SlicerLink(const Settings& settings, MessageSink& messages, SourceFactory factory,
             const std::atomic<uint32_t>* readIndex, std::filesystem::path sysRoot = "/sys",
             std::filesystem::path devRoot = "/dev");
  ~SlicerLink();
  SlicerLink(const SlicerLink&) = delete;
  SlicerLink& operator=(const SlicerLink&) = delete;

  /// OpenSlicerLink: 1 when the ring is ready, 0 on any failure (after showing
  /// its message). A link that is already open is left as it is: the
  /// "not previously unloaded" message is shown and 0 returned.
  int Open();
  /// Detaches from the port and releases the ring; SlicerLinkOpen becomes 0.
  void Close();

  /// SlicerLinkOpen.
  int isOpen() const { return source_ ? 1 : 0; }
  /// The ring while open, else null.
  const EdgeRing* ring() const { return source_ ? source_->ring() : nullptr; }
  EdgeSource* source() { return source_.get(); }
  /// The device of the last open attempt (empty when none was found).
  const std::string& devicePath() const { return devicePath_; }

 private:
  /// Shows `message`, followed by `cause` when there is one.
  void ShowWithCause(const char* message, const std::string& cause);

  const Settings& settings_;
  MessageSink& messages_;
  SourceFactory factory_;
  const std::atomic<uint32_t>* readIndex_;
  std::filesystem::path sysRoot_;
  std::filesystem::path devRoot_;
  std::unique_ptr<EdgeSource> source_;
  std::string devicePath_;
};

}  // namespace skelmar
