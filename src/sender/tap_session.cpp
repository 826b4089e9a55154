// The modem check, dialling, TAP logon and page block exchange of one run.
#include "sender/tap_session.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "sender/page_block.h"

namespace vantry {

namespace {

constexpr int kDialWait = 180;  // seconds before the first character after ATDT (plus one)
constexpr int kIdWait = 2;
constexpr int kIdTries = 10;
constexpr int kReplyWait = 10;

bool StartsWith(const char* text, std::size_t length, std::string_view prefix) {
  return length >= prefix.size() && std::memcmp(text, prefix.data(), prefix.size()) == 0;
}

bool Contains(const char* text, std::size_t length, std::string_view part) {
  return std::string_view(text, length).find(part) != std::string_view::npos;
}

constexpr std::string_view kAckReply = "\r\x06\r";
constexpr std::string_view kGoAhead = "\x1b[p\r";

}  // namespace

double ParseTimeScale(const char* text) {
  if (text == nullptr || *text == '\0') return 1.0;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (*end != '\0' || !std::isfinite(value) || value <= 0.0) return 1.0;
  return value;
}

int ScaledMs(long long ms, double scale) {
  const double scaled = std::round(static_cast<double>(ms) * scale);
  if (scaled < 1.0) return 1;
  if (scaled > static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(scaled);
}

TapSession::TapSession(Port& port, std::FILE* out, double time_scale,
                       std::function<long long()> now_ms)
    : port_(port), now_ms_(std::move(now_ms)), out_(out), scale_(time_scale) {
  if (!now_ms_) {
    now_ms_ = [] {
      return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
    };
  }
}

long long TapSession::DeadlineAfter(int seconds) const {
  return now_ms_() + ScaledMs(static_cast<long long>(seconds) * 1000, scale_);
}

bool TapSession::AwaitSilence(int quiet) {
  const long long deadline = DeadlineAfter(kReplyDeadline);
  while (ReadChar(quiet - 1) != Port::kNone) {
    if (Expired(deadline)) return false;
  }
  return true;
}

void TapSession::Say(const char* text) {
  std::fputs(text, out_);
  std::fflush(out_);
}

void TapSession::SendChar(char c) {
  if (interrupted_) return;
  port_.Write(static_cast<unsigned char>(c));
}

void TapSession::SendText(std::string_view text) {
  for (char c : text) SendChar(c);
}

int TapSession::ReadChar(int n) {
  if (interrupted_) return Port::kNone;
  port_.Drain();
  const int c = port_.Read(ScaledMs((static_cast<long long>(n) + 1) * 1000, scale_));
  if (c == Port::kInterrupted) {
    interrupted_ = true;
    return Port::kNone;
  }
  return c;
}

std::size_t TapSession::ReadReply(int n, char* buf, std::size_t capacity, int overrun) {
  const long long deadline = DeadlineAfter(n + 1 + overrun);
  std::size_t kept = 0;
  for (int c = ReadChar(n); c != Port::kNone; c = ReadChar(1)) {
    if (kept < capacity) buf[kept++] = static_cast<char>(c);
    if (Expired(deadline)) {
      kept = 0;  // a reply that never ended is no reply
      break;
    }
  }
  buf[kept] = '\0';
  return kept;
}

bool TapSession::CheckModem() {
  SendChar('\r');
  SendText("AT");
  SendChar('\r');
  if (!AwaitSilence(3)) return false;
  SendText("ATE0Q0V1");  // echo off, result codes on, verbose result codes
  SendChar('\r');
  if (!AwaitSilence(2)) return false;
  SendText("AT");
  SendChar('\r');
  char answer[kModemReplyCapacity + 1];
  std::size_t length = 0;
  const long long deadline = DeadlineAfter(kReplyDeadline);
  for (int c = ReadChar(3); c != Port::kNone; c = ReadChar(3)) {
    if (length < kModemReplyCapacity) answer[length++] = static_cast<char>(c);
    if (Expired(deadline)) return false;
  }
  return Contains(answer, length, "OK");
}

bool TapSession::DialAndLogOn(std::string_view phone) {
  Say("\nCalling...");
  SendText("ATDT ");
  SendText(phone);
  SendChar('\r');
  char reply[kLogonReplyCapacity + 1];
  std::size_t length = ReadReply(kDialWait, reply, kLogonReplyCapacity);
  if (length == 0 || !Contains(reply, length, "CONNECT")) return false;

  bool asked = false;
  for (int attempt = 0; attempt < kIdTries && !asked && !interrupted_; ++attempt) {
    SendChar('\r');
    // Each try is over after its own 3 s: a terminal that talks on is no ID=.
    length = ReadReply(kIdWait, reply, kLogonReplyCapacity, 0);
    asked = std::string_view(reply, length) == "ID=";
  }
  if (!asked) return false;

  SendChar(kEsc);
  SendText("PG1");
  SendText(kPassword);
  SendChar('\r');
  length = ReadReply(kReplyWait, reply, kLogonReplyCapacity);
  if (length == 0 || !StartsWith(reply, length, kAckReply)) return false;
  if (StartsWith(reply + kAckReply.size(), length - kAckReply.size(), kGoAhead)) return true;
  length = ReadReply(kReplyWait, reply, kLogonReplyCapacity);
  return length != 0 && StartsWith(reply, length, kGoAhead);
}

bool TapSession::SendPage(std::string_view pin, std::string_view message) {
  char block[kBlockCapacity];
  const std::size_t block_length = BuildBlock(pin, message, block);
  if (block_length == 0) return false;  // screened before dialling; never send a broken block
  SendText(std::string_view(block, block_length));
  char reply[kPageReplyCapacity + 1];
  const std::size_t length = ReadReply(kReplyWait, reply, kPageReplyCapacity);
  return StartsWith(reply, length, kAckReply);
}

Outcome TapSession::Run(std::string_view port_name, std::string_view phone, std::string_view pin,
                        std::string_view message) {
  Say("\nAttempting to connect to modem...");
  const bool modem = CheckModem();
  if (interrupted_) return Outcome::kInterrupted;
  if (!modem) {
    std::fprintf(out_, "\nCould not contact modem on %.*s\n", static_cast<int>(port_name.size()),
                 port_name.data());
    std::fflush(out_);
    return Outcome::kNoModem;
  }

  const bool connected = DialAndLogOn(phone);
  if (interrupted_) return Outcome::kInterrupted;
  if (!connected) {
    Say("\nNot able to connect to paging system!\n");
    return Outcome::kNoConnection;
  }

  std::fprintf(out_, "\nSending message \"%.*s\" to PIN %.*s...", static_cast<int>(message.size()),
               message.data(), static_cast<int>(pin.size()), pin.data());
  std::fflush(out_);
  const bool accepted = SendPage(pin, message);
  if (interrupted_) return Outcome::kInterrupted;
  Say(accepted ? "\nMessage accepted!\n" : "\nMessage REJECTED!\n");
  return accepted ? Outcome::kAccepted : Outcome::kRejected;
}

}  // namespace vantry
