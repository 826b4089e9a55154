// Slicer link: port identity to device, the five failure messages, open and
// close through a slicer on scripted lines, and the real device checks on
// files and pseudo-terminals (never on the machine's serial ports).
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/serial_fakes.h"
#include "platform/serial_slicer.h"
#include "platform/slicer_link.h"
#include "settings/settings.h"
#include "shell/test_dir.h"
#include "support/fakes.h"

namespace skelmar {
namespace {

namespace fs = std::filesystem;

void MakePort(const fs::path& sys, const std::string& name, const char* port, const char* irq) {
  const fs::path dir = sys / "class" / "tty" / name;
  fs::create_directories(dir);
  if (port != nullptr) test::WriteFile(dir / "port", port);
  if (irq != nullptr) test::WriteFile(dir / "irq", irq);
}

TEST(SlicerLinkMessages, EachCodeHasItsMessage) {
  EXPECT_STREQ(SlicerErrorMessage(-1), "Error VxD not previously unloaded!");
  EXPECT_STREQ(SlicerErrorMessage(-2), "Error attaching to COM port!");
  EXPECT_STREQ(SlicerErrorMessage(-3), "Error Allocating Memory for VxD!");
  EXPECT_STREQ(SlicerErrorMessage(-4), "Error Allocating Memory for VxD!");
  EXPECT_STREQ(SlicerErrorMessage(-5), "Unknown Error from VxD!");
  EXPECT_STREQ(SlicerErrorMessage(-7), "Unknown Error from VxD!");
  EXPECT_STREQ(kSlicerLoadError, "Error Loading SLICER.VXD!");
}

TEST(SlicerLinkPorts, SysfsLookupMatchesAddressAndIrq) {
  test::TempDir dir;
  MakePort(dir.path(), "ttyS0", "0x3F8\n", "4\n");
  MakePort(dir.path(), "ttyS1", "0x2F8\n", "3\n");
  MakePort(dir.path(), "ttyS4", "0x0\n", "0\n");  // registered but absent
  MakePort(dir.path(), "ttyS9", "0x2E8\n", "5\n");
  MakePort(dir.path(), "ttyS7", "0x2e8\n", "5\n");  // same resources: the first name wins
  MakePort(dir.path(), "ttyS10", "0x2E8\n", "7\n");
  MakePort(dir.path(), "ttyUSB0", nullptr, nullptr);
  MakePort(dir.path(), "ttyS11", "junk\n", "3\n");
  EXPECT_EQ(FindTtyByResources(dir.path(), 0x3F8, 4), "ttyS0");
  EXPECT_EQ(FindTtyByResources(dir.path(), 0x2F8, 3), "ttyS1");
  EXPECT_EQ(FindTtyByResources(dir.path(), 0x2E8, 5), "ttyS7");
  EXPECT_EQ(FindTtyByResources(dir.path(), 0x2E8, 7), "ttyS10");
  EXPECT_EQ(FindTtyByResources(dir.path(), 0x2F8, 4), std::nullopt);
  EXPECT_EQ(FindTtyByResources(dir.path(), 0, 0), std::nullopt);
  EXPECT_EQ(FindTtyByResources(dir.path() / "missing", 0x3F8, 4), std::nullopt);
}

TEST(SlicerLinkPorts, StandardPortsCustomPortsAndNamedDevices) {
  test::TempDir dir;
  const fs::path sys = dir.path() / "sys";
  const fs::path dev = dir.path() / "dev";
  MakePort(sys, "ttyS5", "0x2A0\n", "10\n");
  Settings s;
  for (int port = 1; port <= 4; ++port) {
    s.comPort = port;
    EXPECT_EQ(SlicerDevicePath(s, sys, dev), dev / ("ttyS" + std::to_string(port - 1)));
  }
  s.comPort = 5;
  s.comPortAddr = 0x2A0;
  s.comPortIrq = 10;
  EXPECT_EQ(SlicerDevicePath(s, sys, dev), dev / "ttyS5");
  s.comPortIrq = 11;
  EXPECT_EQ(SlicerDevicePath(s, sys, dev), std::nullopt);
  s.comPort = 0;
  EXPECT_EQ(SlicerDevicePath(s, sys, dev), std::nullopt);
  s.comPort = 7;
  EXPECT_EQ(SlicerDevicePath(s, sys, dev), std::nullopt);
  // A named device wins whatever the port says.
  std::strcpy(s.serialDevice, "/dev/serial/by-id/usb-adapter");
  EXPECT_EQ(SlicerDevicePath(s, sys, dev), fs::path("/dev/serial/by-id/usb-adapter"));
  s.comPort = 2;
  EXPECT_EQ(SlicerDevicePath(s, sys, dev), fs::path("/dev/serial/by-id/usb-adapter"));
}

// A link whose devices live in a temporary /dev and open onto scripted lines.
struct LinkFixture : ::testing::Test {
  test::TempDir dir;
  fs::path sys = dir.path() / "sys";
  fs::path dev = dir.path() / "dev";
  Settings settings;
  test::RecordingMessages messages;
  test::ScriptedSlicerRig rig;
  std::atomic<uint32_t> readIndex{0};
  std::vector<std::string> created;
  SlicerLink link{settings,
                  messages,
                  [this](const std::string& path) -> std::unique_ptr<EdgeSource> {
                    created.push_back(path);
                    SerialSlicerOptions o;
                    // Long enough for a loaded machine to run the capture thread, whose
                    // first wait is what fails in the "no wait" case.
                    o.startupProbe = std::chrono::milliseconds(300);
                    return std::make_unique<SerialSlicer>(path, rig.Services(), o);
                  },
                  &readIndex,
                  sys,
                  dev};

  void SetUp() override {
    fs::create_directories(dev);
    test::WriteFile(dev / "ttyS1", "");
    settings.comPort = 2;
    settings.comPortAddr = 0x2F8;
    settings.comPortIrq = 3;
  }
};

TEST_F(LinkFixture, OpensTheConfiguredPortAndClosesIt) {
  EXPECT_EQ(link.isOpen(), 0);
  ASSERT_EQ(link.Open(), 1);
  EXPECT_EQ(link.isOpen(), 1);
  ASSERT_NE(link.ring(), nullptr);
  EXPECT_EQ(link.ring()->size(), 16384u);
  EXPECT_EQ(created, std::vector<std::string>{(dev / "ttyS1").string()});
  EXPECT_TRUE(messages.shown.empty());

  rig.script->Add(rig.script->now + 1000000, TIOCM_CTS);
  ASSERT_TRUE(rig.script->WaitIdle());
  EXPECT_EQ(test::RingSamples(*link.ring()).size(), 1u);

  link.Close();
  EXPECT_EQ(link.isOpen(), 0);
  EXPECT_EQ(link.ring(), nullptr);
  ASSERT_EQ(link.Open(), 1);  // and again
  EXPECT_EQ(link.isOpen(), 1);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LinkFixture, OpeningTwiceKeepsTheOpenLink) {
  ASSERT_EQ(link.Open(), 1);
  const EdgeRing* ring = link.ring();
  EXPECT_EQ(link.Open(), 0);
  EXPECT_EQ(messages.shown, std::vector<std::string>{"Error VxD not previously unloaded!"});
  EXPECT_EQ(link.isOpen(), 1);
  EXPECT_EQ(link.ring(), ring);
}

TEST_F(LinkFixture, AMissingDeviceShowsTheLoadMessageEachTime) {
  settings.comPort = 3;  // no ttyS2 in this /dev
  EXPECT_EQ(link.Open(), 0);
  EXPECT_EQ(link.Open(), 0);
  // The fixed text first, then which device was looked for.
  const std::string missing =
      "Error Loading SLICER.VXD! " + (dev / "ttyS2").string() + ": no such device";
  EXPECT_EQ(messages.shown, (std::vector<std::string>{missing, missing}));
  EXPECT_TRUE(created.empty());
  EXPECT_EQ(link.isOpen(), 0);

  messages.shown.clear();
  settings.comPort = 5;  // no port at this address in sysfs
  EXPECT_EQ(link.Open(), 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].rfind(
                "Error Loading SLICER.VXD! no serial port has I/O address 0x2F8 and IRQ 3", 0),
            0u)
      << messages.shown[0];

  messages.shown.clear();
  std::strcpy(settings.serialDevice, (dev / "ttyUSB0").c_str());
  EXPECT_EQ(link.Open(), 0);
  EXPECT_EQ(messages.shown,
            std::vector<std::string>{"Error Loading SLICER.VXD! " + (dev / "ttyUSB0").string() +
                                     ": no such device"});
  test::WriteFile(dev / "ttyUSB0", "");
  EXPECT_EQ(link.Open(), 1);
  EXPECT_EQ(link.devicePath(), (dev / "ttyUSB0").string());
}

TEST_F(LinkFixture, SourceFailuresShowTheirMessagesAndLeaveTheLinkClosed) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* message;
    std::string cause;  ///< what the source recorded, shown after the fixed text
  };
  const std::string device = (dev / "ttyS1").string();
  const std::vector<Case> cases = {
      {"busy", [this] { rig.openCode = kEdgeErrorBusy; }, "Error VxD not previously unloaded!",
       device + ": refused"},
      {"attach", [this] { rig.openCode = kEdgeErrorAttach; }, "Error attaching to COM port!",
       device + ": refused"},
      {"no wait", [this] { rig.script->failWaitErrno = ENOTTY; }, "Error attaching to COM port!",
       device + ": cannot wait for modem-status changes: " + std::strerror(ENOTTY)},
      {"memory", [this] { rig.ringFails = true; }, "Error Allocating Memory for VxD!",
       "no memory for the edge ring"},
      {"unknown", [this] { rig.openCode = -7; }, "Unknown Error from VxD!", device + ": refused"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rig.openCode = 0;
    rig.script->failWaitErrno = 0;
    rig.ringFails = false;
    messages.shown.clear();
    c.arrange();
    EXPECT_EQ(link.Open(), 0);
    EXPECT_EQ(messages.shown, std::vector<std::string>{c.message + (" " + c.cause)});
    EXPECT_EQ(link.isOpen(), 0);
    EXPECT_EQ(link.ring(), nullptr);
  }
}

// The real device opening, on things that are not serial ports.
TEST(SerialDeviceOpen, FilesAndMissingDevicesCannotBeAttached) {
  test::TempDir dir;
  test::WriteFile(dir.path() / "plain", "");
  ModemLinesOpening o = OpenSerialModemLines((dir.path() / "plain").string());
  EXPECT_EQ(o.lines, nullptr);
  EXPECT_EQ(o.code, kEdgeErrorAttach);
  EXPECT_NE(o.error.find("not a serial port"), std::string::npos);

  o = OpenSerialModemLines((dir.path() / "absent").string());
  EXPECT_EQ(o.code, kEdgeErrorAttach);
  EXPECT_EQ(OpenSerialModemLines("/dev/null").code, kEdgeErrorAttach);
}

TEST(SerialDeviceOpen, APermissionRefusalNamesTheGroupToJoin) {
  // Serial devices belong to a group such as dialout; a user outside it is
  // told which group to join. Needs root to set up the device and the user.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make the device and drop to another user";
  const group* dialout = getgrnam("dialout");
  if (dialout == nullptr) GTEST_SKIP() << "no dialout group on this system";
  test::TempDir dir;
  const std::string device = (dir.path() / "ttyFake").string();
  test::WriteFile(device, "");
  ASSERT_EQ(::chown(device.c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(3);
    const ModemLinesOpening o = OpenSerialModemLines(device);
    const bool named = o.code == kEdgeErrorAttach &&
                       o.error.find(std::strerror(EACCES)) != std::string::npos &&
                       o.error.find("'dialout' group") != std::string::npos;
    _exit(named ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(SerialDeviceOpen, APseudoTerminalHeldByAnotherIsBusy) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  const int holder = open(slave.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  const ModemLinesOpening busy = OpenSerialModemLines(slave);
  EXPECT_EQ(busy.code, kEdgeErrorBusy);
  EXPECT_EQ(busy.lines, nullptr);
  close(holder);
  // Free again: a pseudo-terminal has no modem lines, which is an attach failure, not busy.
  const ModemLinesOpening free = OpenSerialModemLines(slave);
  EXPECT_EQ(free.lines, nullptr);
  EXPECT_EQ(free.code, kEdgeErrorAttach) << free.error;
  close(master);
}

}  // namespace
}  // namespace skelmar
