// What the status bar says, and its labels.
#include "shell/desktop/status_bar.h"

#include <QLabel>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "session/inputs.h"

namespace skelmar::desktop {
namespace {

std::string FileName(const std::string& path) {
  if (path == "-") return "standard input";
  const std::string name = std::filesystem::path(path).filename().string();
  return name.empty() ? path : name;
}

std::string Hertz(double hz, bool signedOffset) {
  char text[48];
  const double a = std::fabs(hz);
  const char* sign = signedOffset ? (hz < 0 ? "-" : "+") : (hz < 0 ? "-" : "");
  if (a >= 1e6) {
    std::snprintf(text, sizeof text, "%s%.4f MHz", sign, a / 1e6);
  } else if (a >= 1e3) {
    std::snprintf(text, sizeof text, "%s%.1f kHz", sign, a / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%s%.0f Hz", sign, a);
  }
  return text;
}

}  // namespace

std::string InputText(const Session& session) {
  const ConsoleOptions& o = session.options();
  switch (o.input) {
    case InputKind::kReplay:
      return "Recording " + FileName(o.inputPath);
    case InputKind::kPcm:
      return "PCM " + FileName(o.inputPath);
    case InputKind::kAudioFile:
      return "Audio " + FileName(o.inputPath);
    case InputKind::kAudioDevice:
      return "Sound card " + o.inputPath;
    case InputKind::kIq:
      return "IQ " + FileName(o.inputPath);
    case InputKind::kRtlTcp:
      return "rtl_tcp " + o.inputPath;
    case InputKind::kSdr:
      return "SDR " + (o.inputPath.empty() ? std::string("(any device)") : o.inputPath);
    case InputKind::kSerial:
    case InputKind::kNone:
      break;
  }
  std::string device = session.linkDevice();
  if (device.empty() && o.input == InputKind::kSerial) device = o.inputPath;
  if (device.empty() && session.settings.comPort == 0) return "No input";
  if (device.empty()) device = "COM" + std::to_string(session.settings.comPort);
  return "Serial " + device;
}

const char* InputStateText(InputState state) {
  switch (state) {
    case InputState::kRunning:
      return "running";
    case InputState::kEnded:
      return "ended";
    case InputState::kLinkDown:
      return "link down";
    case InputState::kRetrying:
      return "retrying";
    case InputState::kNone:
      break;
  }
  return "not open";
}

std::string ReceiverText(const ConsoleOptions& o) {
  const bool live = o.input == InputKind::kRtlTcp || o.input == InputKind::kSdr;
  if (!live && o.input != InputKind::kIq) return {};
  // Several channels: each by its label or frequency, as their lines name them.
  if (o.channels.size() > 1) {
    std::string text = std::to_string(o.channels.size()) + " channels:";
    for (const ChannelEntry& c : o.channels) text += " " + ChannelName(c);
    return text;
  }
  const double center = live ? SdrCenterHz(o) : o.center.value_or(0);
  const double channel = o.channel.value_or(center);
  // A capture without its centre frequency knows the channel only as an offset.
  if (!live && !o.center.has_value()) {
    return channel == 0 ? std::string("centre of the capture") : Hertz(channel, true);
  }
  return Hertz(channel, false);
}

std::string FeedText(const Feed& feed) {
  const FeedCounters c = feed.counters();
  std::string text = feed.name();
  // A far end that refuses the pages (a key or certificate) is said as such.
  text += !feed.stalled().empty() ? ": refused, "
          : feed.connected()      ? ": connected, "
                                  : ": not connected, ";
  text += std::to_string(c.queued) + " queued, " + std::to_string(c.dropped) + " dropped";
  return text;
}

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(false);
  auto label = [this](const char* name, int stretch) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    addWidget(l, stretch);
    return l;
  };
  input_ = label("inputStatus", 2);
  receiver_ = label("receiverStatus", 0);
  pages_ = label("pagesStatus", 0);
  feeds_ = label("feedStatus", 1);
  receiver_->hide();
  feeds_->hide();
}

void StatusBar::Show(QLabel* label, const std::string& text) {
  const QString shown = QString::fromStdString(text);
  if (label->text() != shown) label->setText(shown);
  label->setVisible(!text.empty());
}

void StatusBar::Update(const Session& session) {
  Show(input_, InputText(session) + ": " + InputStateText(session.inputState()));
  Show(receiver_, ReceiverText(session.options()));
  Show(pages_, "Pages: " + std::to_string(session.pages()));
  std::string feeds;
  for (const auto& feed : session.feeds().feeds()) {
    if (!feeds.empty()) feeds += "  ";
    feeds += FeedText(*feed);
  }
  Show(feeds_, feeds);
}

}  // namespace skelmar::desktop
