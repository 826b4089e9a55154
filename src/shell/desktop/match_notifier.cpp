// Filter matches as desktop notifications.
#include "shell/desktop/match_notifier.h"

#include <QVariantMap>

#ifdef SKELMAR_HAVE_QTDBUS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

#include "settings/profile_file.h"
#include "settings/settings.h"
#include "shell/desktop/pane_widget.h"

namespace skelmar::desktop {
namespace {

constexpr const char* kSection = "Desktop";
constexpr int kRowsShown = 6;

}  // namespace

NotificationSender DesktopNotificationSender() {
#ifdef SKELMAR_HAVE_QTDBUS
  return [](const QString& summary, const QString& body) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Skelmar") << 0u << QStringLiteral("skelmar") << summary << body
         << QStringList() << QVariantMap() << -1;
    // Never waits: a desktop without the service loses the notification, not time.
    QDBusConnection::sessionBus().send(call);
  };
#else
  return [](const QString&, const QString&) {};
#endif
}

bool NotifyOnMatch(const std::filesystem::path& file) {
  ProfileFile profile;
  if (!profile.Load(file)) return false;
  const auto value = profile.Find(kSection, "Notify");
  return value && *value == "1";
}

bool SaveNotifyOnMatch(const std::filesystem::path& file, bool on, std::string& error) {
  ProfileFile profile;
  if (!profile.Load(file, &error)) return false;
  profile.SetString(kSection, "Notify", on ? "1" : "0");
  return profile.Save(file, &error);
}

void MatchNotifier::RowFinished(const char* text, const int32_t* slots) {
  if (!enabled_) return;
  // The rule a time stamp writes is all in the time stamp colour.
  int32_t slot = 0;
  PaintRun runs[kPaneColumns];
  const int32_t n = PaintRuns(text, slots, slot, runs);
  bool page = false;
  for (int32_t k = 0; k < n && !page; ++k) page = runs[k].colorSlot != kSlotTimestamp;
  if (!page) return;
  QString row;
  for (const char* c = text; *c != '\0'; ++c) row += PaneChar(*c);
  row = row.trimmed();
  if (!row.isEmpty()) rows_ << row;
}

void MatchNotifier::Flush() {
  if (rows_.isEmpty()) return;
  if (enabled_ && send_) {
    QStringList shown = rows_.mid(0, kRowsShown);
    if (rows_.size() > kRowsShown) shown << QStringLiteral("…");
    send_(QStringLiteral("Skelmar: filter match"), shown.join(QLatin1Char('\n')));
  }
  rows_.clear();
}

}  // namespace skelmar::desktop
