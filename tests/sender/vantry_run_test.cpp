// Runs the real vantry program against the scripted modem and paging terminal and checks its
// console output byte for byte, its exit code and every character it put on the line.
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <string>
#include <vector>

#include "sender/tap_fixture.h"

namespace vantry::test {
namespace {

// Every time limit of the program shrunk twentyfold keeps a full run near one second.
constexpr double kScale = 0.05;

const std::string kUsage = "\nUsage: VANTRY <COMx> <phone number> <PIN> <message>\n";
const std::string kAttempt = "\nAttempting to connect to modem...";
const std::string kCalling = "\nCalling...";
const std::string kNoConnection = "\nNot able to connect to paging system!\n";
const std::string kAccepted = "\nMessage accepted!\n";
const std::string kRejected = "\nMessage REJECTED!\n";
const std::string kLogon = "\x1bPG1Tomal\r";
const std::vector<std::string> kCommands = {"AT", "ATE0Q0V1", "AT", "ATDT 5551234"};

std::string Sending(const std::string& message, const std::string& pin) {
  return "\nSending message \"" + message + "\" to PIN " + pin + "...";
}

/// The block as the terminal must see it, summed here independently of the program.
std::string ExpectedBlock(const std::string& pin, const std::string& message) {
  std::string block = "\x02" + pin + "\r" + message + "\r\x03";
  unsigned sum = 0;
  for (unsigned char c : block) sum += c;
  sum %= 4096;
  const char* digits = "0123456789:;<=>?";
  return block + digits[sum / 256] + digits[sum / 16 % 16] + digits[sum % 16] + "\r";
}

RunResult Send(const Script& script, double scale = kScale) {
  return RunOnPty(script, scale, "5551234", "1234", "HI");
}

void ExpectDeliveredAndAccepted(const RunResult& r, const std::string& pin = "1234",
                                const std::string& message = "HI") {
  EXPECT_EQ(r.out, kAttempt + kCalling + Sending(message, pin) + kAccepted);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.logon, kLogon);
  EXPECT_EQ(r.block, ExpectedBlock(pin, message));
  EXPECT_EQ(r.after_block, "");
  EXPECT_EQ(r.err, "");
}

void ExpectNoConnection(const RunResult& r) {
  EXPECT_EQ(r.out, kAttempt + kCalling + kNoConnection);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.block, "");
  EXPECT_EQ(r.err, "");
}

TEST(VantryCommandLine, FewerThanFourArgumentsShowUsage) {
  const std::vector<std::vector<std::string>> short_lines = {
      {}, {"COM1"}, {"COM1", "5551234"}, {"COM1", "5551234", "1234"}};
  for (const auto& args : short_lines) {
    const RunResult r = RunVantry(args, 0);
    EXPECT_EQ(r.out, kUsage) << args.size();
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.exited);
  }
}

TEST(VantryCommandLine, PortThatCannotBeOpened) {
  for (const std::string port : {"/nonexistent/ttyQ9", "/dev/null", "/"}) {
    const RunResult r = RunVantry({port, "5551234", "1234", "HI"}, 0);
    EXPECT_EQ(r.out, "\nError opening port: " + port + "\n") << port;
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.exited);
  }
}

TEST(VantryCommandLine, PortHeldByAnotherProgramIsNotShared) {
  Script script;
  script.lock_port = true;
  const RunResult r = Send(script);
  EXPECT_EQ(r.out, "\nError opening port: " + r.port + "\n");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.commands.empty());
}

TEST(VantryCommandLine, TextThatWouldBreakTheBlockIsRefusedBeforeThePortIsTouched) {
  const std::string printable_only =
      "\nPhone number, PIN and message may hold printable ASCII characters only\n";
  struct Case {
    std::string phone, pin, message, out;
  };
  const Case cases[] = {
      {"5551234", "1234", "two\rlines", printable_only},
      {"5551234", "1234",
       "end\x03"
       "early",
       printable_only},
      {"5551234", "12\x02", "HI", printable_only},
      {"555\rATH", "1234", "HI", printable_only},
      {"5551234", "1234", "caf\xc3\xa9", printable_only},
      {"5551234", "1234", std::string(1000, 'x'),
       "\nPIN and message too long: at most 1003 characters together\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = RunVantry({"/nonexistent/ttyQ9", c.phone, c.pin, c.message}, 0);
    EXPECT_EQ(r.out, c.out) << c.message.substr(0, 12);
    EXPECT_EQ(r.exit_code, 0);
  }
}

TEST(VantryModem, PortIsSetForTheModemLineBeforeTheFirstCommand) {
  Script script;
  script.modem.answers = false;
  const RunResult r = Send(script);
  ASSERT_EQ(r.commands.size(), 3u);
  const termios& t = r.line;
  EXPECT_EQ(cfgetispeed(&t), B1200);
  EXPECT_EQ(cfgetospeed(&t), B1200);
  EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS | PARODD), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD | HUPCL), tcflag_t{CLOCAL | CREAD | HUPCL});
  EXPECT_EQ(t.c_iflag & (INPCK | IGNPAR), tcflag_t{INPCK | IGNPAR});
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | IGNCR | INLCR | ISTRIP | PARMRK), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  // A pseudo-terminal forces 8 bits without parity, so those two cannot be checked here.
}

TEST(VantryModem, SilentLineMeansNoModem) {
  Script script;
  script.modem.answers = false;
  const RunResult r = Send(script);
  EXPECT_EQ(r.out, kAttempt + "\nCould not contact modem on " + r.port + "\n");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.commands, (std::vector<std::string>{"AT", "ATE0Q0V1", "AT"}));
}

TEST(VantryModem, LowerCaseOkMeansNoModem) {
  Script script;
  script.modem.result_ok = "ok";
  const RunResult r = Send(script);
  EXPECT_EQ(r.out, kAttempt + "\nCould not contact modem on " + r.port + "\n");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.commands, (std::vector<std::string>{"AT", "ATE0Q0V1", "AT"}));
}

TEST(VantryDial, NoConnectMeansNoConnection) {
  for (const std::string result : {"\r\nNO CARRIER\r\n", "\r\nBUSY\r\n", "\r\nCONNEC\r\n"}) {
    Script script;
    script.modem.dial_replies = {{2000, result}};
    const RunResult r = Send(script);
    ExpectNoConnection(r);
    EXPECT_EQ(r.commands, kCommands);
    EXPECT_EQ(r.id_requests, 0);
  }
}

TEST(VantryDial, ConnectIsAwaitedUpTo181Seconds) {
  constexpr double kTight = 0.01;  // 181 s become 1.81 s
  Script script;
  script.modem.dial_replies = {{160000, "\r\nCONNECT 1200\r\n"}};
  ExpectDeliveredAndAccepted(Send(script, kTight));

  script.modem.dial_replies = {{200000, "\r\nCONNECT 1200\r\n"}};
  const RunResult late = Send(script, kTight);
  ExpectNoConnection(late);
  EXPECT_EQ(late.id_requests, 0);
}

TEST(VantryDial, ConnectPastTheReplyBufferIsNotSeen) {
  Script script;
  script.modem.dial_replies = {{500, "\r\n" + std::string(40, '.') + "CONNECT 1200\r\n"}};
  ExpectNoConnection(Send(script));
}

TEST(VantryLogon, IdOnTheThirdCarriageReturnIsAccepted) {
  Script script;
  script.terminal.id_replies = {"", "\r\nPLEASE WAIT\r\n", "ID="};
  const RunResult r = Send(script);
  ExpectDeliveredAndAccepted(r);
  EXPECT_EQ(r.id_requests, 3);
}

TEST(VantryLogon, IdFollowedByCrLfIsNeverAccepted) {
  Script script;
  script.terminal.id_replies = std::vector<std::string>(12, "ID=\r\n");
  const RunResult r = Send(script);
  ExpectNoConnection(r);
  EXPECT_EQ(r.id_requests, 10);
  EXPECT_EQ(r.logon, "");
}

TEST(VantryLogon, GoAheadInTheFirstReply) {
  const RunResult r = Send(Script{});
  ExpectDeliveredAndAccepted(r);
  EXPECT_EQ(r.commands, kCommands);
  EXPECT_EQ(r.id_requests, 1);
}

TEST(VantryLogon, GoAheadInTheSecondReply) {
  Script script;
  script.terminal.logon_replies = {{100, "\r\x06\r"}, {5000, "\x1b[p\r"}};
  ExpectDeliveredAndAccepted(Send(script));
}

TEST(VantryLogon, AnyOtherLogonReplyFails) {
  const std::vector<std::vector<Timed>> replies = {
      {{100, "\r\x06\rWELCOME\r\x1b[p\r"}},          // text before the go-ahead, one reply
      {{100, "\r\x06\r"}, {5000, "HELLO\x1b[p\r"}},  // text before the go-ahead, second reply
      {{100, "\r\x15\r"}},                           // logon refused
      {{100, "\r\x15\r\x1b[p\r"}},                   // refused, whatever follows
      {{100, "\r\x06\r"}},                           // no go-ahead at all
      {{100, "\x15\r\x06\r"}, {5000, "\x1b[p\r"}},   // the acknowledgement not first
      {},                                            // no reply
  };
  for (const auto& logon : replies) {
    Script script;
    script.terminal.logon_replies = logon;
    const RunResult r = Send(script);
    ExpectNoConnection(r);
    EXPECT_EQ(r.logon, kLogon);
  }
}

TEST(VantryPage, AcknowledgedBlockIsAccepted) {
  const RunResult r = Send(Script{});
  ExpectDeliveredAndAccepted(r);
  EXPECT_EQ(r.block, std::string("\x02"
                                 "1234\rHI\r\x03"
                                 "17:\r"));
}

TEST(VantryPage, NakIsRejected) {
  Script script;
  script.terminal.page_replies = {{200, "\r\x15\r"}};
  const RunResult r = Send(script);
  EXPECT_EQ(r.out, kAttempt + kCalling + Sending("HI", "1234") + kRejected);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.block, ExpectedBlock("1234", "HI"));
  EXPECT_EQ(r.after_block, "");
}

TEST(VantryPage, AcknowledgementAfterOtherTextIsRejected) {
  Script script;
  script.terminal.page_replies = {{200, "\r\x15\r\x06\r"}};
  const RunResult r = Send(script);
  EXPECT_EQ(r.out, kAttempt + kCalling + Sending("HI", "1234") + kRejected);
  EXPECT_EQ(r.exit_code, 0);
}

TEST(VantryPage, SilenceAfterTheBlockIsRejected) {
  Script script;
  script.terminal.page_replies = {};
  const RunResult r = Send(script);
  EXPECT_EQ(r.out, kAttempt + kCalling + Sending("HI", "1234") + kRejected);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.after_block, "");
}

TEST(VantryPage, OverlongAcknowledgementKeepsWhatFits) {
  Script script;
  script.terminal.page_replies = {{200, "\r\x06\r" + std::string(2000, 'x')}};
  ExpectDeliveredAndAccepted(Send(script));
}

TEST(VantryPage, BlocksOfVariousLengths) {
  struct Case {
    std::string pin, message;
  };
  const Case cases[] = {
      {"5551212", "TEST"},
      {"987654321", "Meet me at 5 PM ~ bring snacks!"},
      {"8", std::string(1002, '~')},  // the largest block that fits
  };
  for (const Case& c : cases) {
    const RunResult r = RunOnPty(Script{}, kScale, "5551234", c.pin, c.message);
    ExpectDeliveredAndAccepted(r, c.pin, c.message);
  }
}

TEST(VantryInterrupt, InterruptWhileDiallingReleasesThePortAndEndsQuietly) {
  Script script;
  script.modem.dial_replies = {};
  script.interrupt_after_dial_ms = 20000;
  const auto start = std::chrono::steady_clock::now();
  const RunResult r = Send(script);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(r.exited);  // not killed by the signal: it closed the port and returned
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, kAttempt + kCalling + "\n");
  EXPECT_EQ(r.id_requests, 0);
  EXPECT_LT(took, std::chrono::seconds(5));  // the dial wait alone would take 9 s
}

TEST(VantryFault, PortVanishingMidDialogueEndsTheRunAsNoConnection) {
  Script script;
  script.modem.dial_replies = {};  // the line goes before any answer
  script.vanish_after_dial_ms = 1000;
  const RunResult r = Send(script, 0.01);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, kAttempt + kCalling + kNoConnection);
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace vantry::test
