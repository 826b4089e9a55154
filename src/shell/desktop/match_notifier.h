// Desktop notifications of filter matches: the filter pane's new rows of one
// tick become one notification (org.freedesktop.Notifications over D-Bus),
// beside the beep. Switched on in the window and kept in the settings file's
// [Desktop] section, which is written only when the user switches it.
#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>

#include "output/text_pane.h"

namespace skelmar::desktop {

/// Sends one notification: summary and body.
using NotificationSender = std::function<void(const QString& summary, const QString& body)>;

/// The session bus's notification service; a sender that does nothing when
/// the program was built without QtDBus.
NotificationSender DesktopNotificationSender();

/// Whether [Desktop] Notify is set in `file`.
bool NotifyOnMatch(const std::filesystem::path& file);
/// Writes [Desktop] Notify; false with `error` when the file cannot be written.
bool SaveNotifyOnMatch(const std::filesystem::path& file, bool on, std::string& error);

class MatchNotifier : public RowObserver {
 public:
  explicit MatchNotifier(NotificationSender send) : send_(std::move(send)) {}
  void SetEnabled(bool on) { enabled_ = on; }
  bool enabled() const { return enabled_; }
  void SetSender(NotificationSender send) { send_ = std::move(send); }

  /// A finished row of the filter pane (time stamp rules are left out).
  void RowFinished(const char* text, const int32_t* slots) override;
  /// After each tick: what matched in it, as one notification.
  void Flush();

 private:
  NotificationSender send_;
  QStringList rows_;
  bool enabled_ = false;
};

}  // namespace skelmar::desktop
