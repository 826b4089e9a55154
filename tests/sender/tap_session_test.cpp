// The dialogue's time limits, reply buffers and interruption, over a port that replays a script.
#include "sender/tap_session.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <deque>
#include <string>
#include <vector>

namespace vantry {
namespace {

/// Replays read results in order (then silence) and records everything asked of it.
class ScriptedPort : public Port {
 public:
  std::deque<int> reads;
  std::vector<int> timeouts;
  std::string written;

  void Queue(const std::string& text) {
    for (char c : text) reads.push_back(static_cast<unsigned char>(c));
  }
  void QueueSilence() { reads.push_back(kNone); }

  void Write(unsigned char c) override { written += static_cast<char>(c); }
  void Drain() override {}
  int Read(int timeout_ms) override {
    timeouts.push_back(timeout_ms);
    if (reads.empty()) return kNone;
    const int r = reads.front();
    reads.pop_front();
    return r;
  }
};

/// Collects what the session prints.
class Capture {
 public:
  Capture() : file_(open_memstream(&data_, &size_)) {}
  ~Capture() {
    fclose(file_);
    free(data_);
  }
  std::FILE* file() { return file_; }
  std::string text() {
    fflush(file_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

TEST(TapSession, ReadCharWaitsNPlusOneSecondsScaled) {
  ScriptedPort port;
  Capture out;
  TapSession plain(port, out.file(), 1.0);
  EXPECT_EQ(plain.ReadChar(180), Port::kNone);
  EXPECT_EQ(plain.ReadChar(0), Port::kNone);
  TapSession fast(port, out.file(), 0.01);
  EXPECT_EQ(fast.ReadChar(180), Port::kNone);
  EXPECT_EQ(port.timeouts, (std::vector<int>{181000, 1000, 1810}));
}

TEST(TapSession, ReplyEndsAfterTwoSecondsOfSilenceAndKeepsWhatFits) {
  ScriptedPort port;
  Capture out;
  TapSession session(port, out.file(), 1.0);
  const std::string sent(50, 'x');
  port.Queue("CONNECT" + sent.substr(7));
  port.QueueSilence();
  port.Queue("late");
  char reply[kLogonReplyCapacity + 1];
  ASSERT_EQ(session.ReadReply(180, reply, kLogonReplyCapacity), kLogonReplyCapacity);
  EXPECT_EQ(std::string(reply), ("CONNECT" + sent.substr(7)).substr(0, 39));
  // The whole reply was read off the line, the rest of it only discarded; the later text was not.
  ASSERT_EQ(port.timeouts.size(), 51u);
  EXPECT_EQ(port.timeouts[0], 181000);
  for (std::size_t i = 1; i < port.timeouts.size(); ++i) EXPECT_EQ(port.timeouts[i], 2000);
  EXPECT_EQ(port.reads.size(), 4u);
}

TEST(TapSession, NoFirstCharacterIsNoReply) {
  ScriptedPort port;
  Capture out;
  TapSession session(port, out.file(), 1.0);
  char reply[kLogonReplyCapacity + 1] = "stale";
  EXPECT_EQ(session.ReadReply(10, reply, kLogonReplyCapacity), 0u);
  EXPECT_EQ(reply[0], '\0');
  EXPECT_EQ(port.timeouts, (std::vector<int>{11000}));
}

TEST(TapSession, ModemAnswerIsJudgedOnItsFirst255Characters) {
  for (std::size_t junk : {250u, 260u}) {
    ScriptedPort port;
    Capture out;
    TapSession session(port, out.file(), 1.0);
    port.QueueSilence();  // nothing after the first AT
    port.QueueSilence();  // nothing after ATE0Q0V1
    port.Queue(std::string(junk, '.') + "\r\nOK\r\n");
    EXPECT_EQ(session.CheckModem(), junk == 250u) << junk;
    EXPECT_EQ(port.written, "\rAT\rATE0Q0V1\rAT\r");
    // 3 s of silence, 2 s of silence, then every character of the answer within 4 s.
    EXPECT_EQ(port.timeouts.front(), 3000);
    EXPECT_EQ(port.timeouts[1], 2000);
    EXPECT_EQ(port.timeouts.back(), 4000);
  }
}

TEST(TapSession, InterruptStopsTheRunWithoutFurtherMessagesOrSending) {
  ScriptedPort port;
  Capture out;
  TapSession session(port, out.file(), 1.0);
  port.QueueSilence();
  port.QueueSilence();
  port.Queue("\r\nOK\r\n");
  port.QueueSilence();
  port.reads.push_back(Port::kInterrupted);  // while waiting for the dial result
  EXPECT_EQ(session.Run("COM1", "5551234", "1234", "HI"), Outcome::kInterrupted);
  EXPECT_EQ(out.text(), "\nAttempting to connect to modem...\nCalling...");
  EXPECT_EQ(port.written, "\rAT\rATE0Q0V1\rAT\rATDT 5551234\r");
  EXPECT_TRUE(session.interrupted());
}

/// A line that never falls silent: a character every 100 ms of a clock the
/// port itself advances, after whatever was queued.
class NoisyPort : public ScriptedPort {
 public:
  long long now = 0;
  int Read(int timeout_ms) override {
    const int c = ScriptedPort::Read(timeout_ms);
    if (c == kNone && reads.empty() && noisy) {
      now += 100;
      return '~';
    }
    now += c == kNone ? timeout_ms : 10;
    return c;
  }
  bool noisy = true;
};

TEST(TapSession, EndlessNoiseEndsEachStepAtItsDeadlineAsThatStepsFailure) {
  {
    NoisyPort port;  // noise from the start: the modem check never hears silence
    Capture out;
    TapSession session(port, out.file(), 1.0, [&port] { return port.now; });
    EXPECT_EQ(session.Run("COM1", "5551234", "1234", "HI"), Outcome::kNoModem);
    EXPECT_LE(port.now, 3 * 1000 + kReplyDeadline * 1000 + 1000);
  }
  {
    NoisyPort port;  // a modem, then noise in place of the dial result
    port.QueueSilence();
    port.QueueSilence();
    port.Queue("\r\nOK\r\n");
    port.QueueSilence();
    port.Queue("CONNECT");
    Capture out;
    TapSession session(port, out.file(), 1.0, [&port] { return port.now; });
    EXPECT_EQ(session.Run("COM1", "5551234", "1234", "HI"), Outcome::kNoConnection);
    EXPECT_NE(out.text().find("Not able to connect to paging system!"), std::string::npos);
  }
  {
    NoisyPort port;  // the reply to the page block never ends
    Capture out;
    TapSession session(port, out.file(), 1.0, [&port] { return port.now; });
    port.Queue("\r\x06\r");
    EXPECT_FALSE(session.SendPage("1234", "HI"));
  }
}

/// A terminal that babbles without end once the modem is on line: lone CRs
/// sent after the dial are the ID requests.
class BabblingTerminal : public NoisyPort {
 public:
  BabblingTerminal() {
    QueueSilence();
    QueueSilence();
    Queue("\r\nOK\r\n");
    QueueSilence();
    Queue("\r\nCONNECT 1200\r\n");
    noisy = false;  // silence ends the dial result; the babble begins with the first request
  }
  void Write(unsigned char c) override {
    NoisyPort::Write(c);
    if (c == '\r' && written.find("ATDT") != std::string::npos && written.size() >= 2 &&
        written[written.size() - 2] == '\r') {
      if (id_requests++ == 0) first_request = now;
      noisy = true;
    }
  }
  int id_requests = 0;
  long long first_request = -1;
};

TEST(TapSession, EachIdRequestGivesUpAfterItsOwnThreeSecondsOfBabble) {
  BabblingTerminal port;
  Capture out;
  TapSession session(port, out.file(), 1.0, [&port] { return port.now; });
  EXPECT_EQ(session.Run("COM1", "5551234", "1234", "HI"), Outcome::kNoConnection);
  EXPECT_EQ(port.id_requests, 10);
  ASSERT_GE(port.first_request, 0);
  // Ten tries of 3 s each; a babbling character may come 100 ms past each one's end.
  EXPECT_LE(port.now - port.first_request, 10 * 3100);
  EXPECT_GE(port.now - port.first_request, 10 * 3000);
}

}  // namespace
}  // namespace vantry
