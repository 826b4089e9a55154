// The setup, filter and statistics dialogs driven headless: the widgets a user
// sees, the settings they leave behind, and a settings file written after
// every dialog changed something reading back into the same record.
#include "shell/desktop/dialogs/dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <vector>

#include "pocsag_encoder.h"
#include "session/monitor.h"
#include "session/settings_file.h"
#include "shell/desktop/dialogs/colors_dialog.h"
#include "shell/desktop/dialogs/filters_dialog.h"
#include "shell/desktop/dialogs/interface_dialog.h"
#include "shell/desktop/dialogs/options_dialog.h"
#include "shell/desktop/dialogs/statistics_dialog.h"
#include "support/fakes.h"

using namespace skelmar;
using namespace skelmar::desktop;

namespace {

/// Runs `act` on the next modal dialog of type T once it is on screen, from a
/// timer (the dialog's own event loop runs it).
/// Polls still running: a test whose dialog never came fails in cleanup().
std::vector<QPointer<QTimer>> pendingPolls;

template <class T>
void WhenModal(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  pendingPolls.emplace_back(timer);
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(dialog);
  });
  timer->start();
}

template <class T>
T* Find(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) qFatal("no widget %s", name);
  return child;
}

void Click(QWidget* parent, const char* button) {
  QTest::mouseClick(Find<QPushButton>(parent, button), Qt::LeftButton);
}

/// The user picks an entry of a drop-down list.
void Pick(QComboBox* combo, int index) {
  combo->setCurrentIndex(index);
  Q_EMIT combo->activated(index);
}

/// The monitor with fake services, as the desktop program owns it.
struct MonitorRig {
  Settings settings;
  test::FakeClock clock;
  test::RecordingMessages messages;
  test::RecordingLauncher launcher;
  test::CountingBeeper beeper;
  Monitor monitor{settings, MonitorServices{clock, messages, launcher, beeper}};
  std::vector<std::string> filterRows;

  class Rows : public RowObserver {
   public:
    explicit Rows(std::vector<std::string>& out) : out_(out) {}
    void RowFinished(const char* text, const int32_t*) override { out_.emplace_back(text); }

   private:
    std::vector<std::string>& out_;
  } rows{filterRows};

  MonitorRig() {
    clock.Set(2026, 12, 9, 10, 0, 0);
    monitor.Start();
    monitor.filterPane.SetRowObserver(&rows);
  }

  /// One alphanumeric POCSAG page decoded by the real decoder.
  void Page(uint32_t capcode, const std::string& text) {
    siggen::PocsagPage page;
    page.capcode = capcode;
    page.kind = siggen::PocsagKind::kAlpha;
    page.text = text;
    for (uint8_t bit : siggen::EncodePocsag({page, page}).Bits())
      monitor.pocsag.PutBit(bit ? '1' : '0');
  }

  bool FilterPaneHas(const std::string& piece) const {
    for (const std::string& row : filterRows) {
      if (row.find(piece) != std::string::npos) return true;
    }
    return false;
  }
};

QColor PixelOf(QWidget* widget, int x, int y) { return widget->grab().toImage().pixelColor(x, y); }

/// Every key of the record compared in the form the record keeps it.
QStringList DifferingKeys(Settings& a, Settings& b) {
  QStringList out;
  for (size_t i = 0; i < kSettingKeyCount; ++i) {
    const SettingKey& key = kSettingKeys[i];
    void* fa = key.field(a);
    void* fb = key.field(b);
    bool same = true;
    switch (key.kind) {
      case SettingKind::kInt:
      case SettingKind::kPort:
      case SettingKind::kColor:
        same = *static_cast<int32_t*>(fa) == *static_cast<int32_t*>(fb);
        break;
      case SettingKind::kByte:
        same = *static_cast<uint8_t*>(fa) == *static_cast<uint8_t*>(fb);
        break;
      case SettingKind::kPercent:
        same = *static_cast<double*>(fa) == *static_cast<double*>(fb);
        break;
      case SettingKind::kText:
        same = std::strncmp(static_cast<char*>(fa), static_cast<char*>(fb),
                            static_cast<size_t>(key.capacity)) == 0;
        break;
    }
    if (!same) out << QString::fromLatin1(key.key);
  }
  return out;
}

}  // namespace

class DialogTests : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void cleanup();
  void dialogsAreCentredOnTheirOwner();
  void interfaceWithNoPort();
  void interfaceCom2ThenCustom();
  void interfaceCustomWithoutAddressStaysOpen();
  void interfaceIrqMissingFromTheList();
  void optionsUntickingFlexClearsFlexBusy();
  void colorsOkCancelAndDefaults();
  void colorsAccessKeysThatClashStillReachBothButtons();
  void fontChoiceRewritesTheRecord();
  void filtersAddEditDelete();
  void filterAddedWhileOpenMatchesTheNextPage();
  void filterFileTypedOrChosenFromItsButton();
  void statisticsShowsStarsAndNeedsAPath();
  void everyDialogRoundTripsThroughTheFile();
};

void DialogTests::cleanup() {
  int waiting = 0;
  for (QPointer<QTimer>& timer : pendingPolls) {
    if (timer && timer->isActive()) ++waiting;
    delete timer.data();
  }
  pendingPolls.clear();
  QCOMPARE(waiting, 0);
}

void DialogTests::dialogsAreCentredOnTheirOwner() {
  QWidget owner;
  owner.setGeometry(60, 40, 700, 500);  // inside the 800 x 600 offscreen screen
  owner.show();
  QVERIFY(QTest::qWaitForWindowExposed(&owner));
  const QRect o = owner.frameGeometry();
  Settings settings;
  test::RecordingMessages messages;
  CustomColors custom;
  ColorsDialog dialog(&owner, settings, messages, custom);
  dialog.show();
  QRect d = dialog.frameGeometry();
  QCOMPARE(d.left(), o.left() + o.width() / 2 - d.width() / 2);
  QCOMPARE(d.top(), o.top() + o.height() / 2 - d.height() / 2);
  // The colour chooser is centred over the dialog that opened it.
  QPoint chooserAt;
  QSize chooserSize;
  WhenModal<QColorDialog>([&](QColorDialog* chooser) {
    chooserAt = chooser->frameGeometry().topLeft();
    chooserSize = chooser->frameGeometry().size();
    chooser->reject();
  });
  Click(&dialog, "color1");
  d = dialog.frameGeometry();
  QCOMPARE(chooserAt.x(), std::max(0, d.left() + d.width() / 2 - chooserSize.width() / 2));
  QCOMPARE(chooserAt.y(), std::max(0, d.top() + d.height() / 2 - chooserSize.height() / 2));
}

void DialogTests::interfaceWithNoPort() {
  Settings settings;
  test::RecordingMessages messages;
  InterfaceDialog dialog(nullptr, settings, messages);
  dialog.show();
  QCOMPARE(Find<QComboBox>(&dialog, "port")->currentIndex(), -1);
  QVERIFY(!Find<QLineEdit>(&dialog, "address")->isEnabled());
  QVERIFY(!Find<QComboBox>(&dialog, "irq")->isEnabled());
  Click(&dialog, "ok");
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QCOMPARE(settings.comPort, 0);
}

void DialogTests::interfaceCom2ThenCustom() {
  Settings settings;
  test::RecordingMessages messages;
  InterfaceDialog dialog(nullptr, settings, messages);
  dialog.show();
  auto* port = Find<QComboBox>(&dialog, "port");
  auto* address = Find<QLineEdit>(&dialog, "address");
  auto* irq = Find<QComboBox>(&dialog, "irq");
  Pick(port, 1);
  QCOMPARE(port->currentText(), QString("COM2"));
  QCOMPARE(address->text(), QString("0x2F8"));
  QCOMPARE(irq->currentText(), QString("3"));
  QVERIFY(!address->isEnabled());
  Pick(port, 4);
  QCOMPARE(port->currentText(), QString("Custom"));
  QVERIFY(address->isEnabled());
  QVERIFY(irq->isEnabled());
  QCOMPARE(address->text(), QString("0x2F8"));
  QCOMPARE(irq->currentText(), QString("3"));
  Click(&dialog, "ok");
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QCOMPARE(settings.comPort, 5);
  QCOMPARE(settings.comPortAddr, 0x2F8);
  QCOMPARE(settings.comPortIrq, 3);
}

void DialogTests::interfaceCustomWithoutAddressStaysOpen() {
  Settings settings;
  settings.comPort = 1;
  settings.comPortAddr = 0x3F8;
  settings.comPortIrq = 4;
  test::RecordingMessages messages;
  InterfaceDialog dialog(nullptr, settings, messages);
  dialog.show();
  Pick(Find<QComboBox>(&dialog, "port"), 4);
  Find<QLineEdit>(&dialog, "address")->clear();
  Click(&dialog, "ok");
  QVERIFY(dialog.isVisible());
  QCOMPARE(messages.shown, std::vector<std::string>{"You must provide an I/O Address!"});
  QCOMPARE(settings.comPort, 5);  // stored before the check
  QCOMPARE(settings.comPortAddr, 0x3F8);
  // The address field holds five characters; a typed address is read as hexadecimal.
  QTest::keyClicks(Find<QLineEdit>(&dialog, "address"), "0x2e8zz");
  QCOMPARE(Find<QLineEdit>(&dialog, "address")->text(), QString("0x2e8"));
  Click(&dialog, "ok");
  QVERIFY(!dialog.isVisible());
  QCOMPARE(settings.comPortAddr, 0x2E8);
  QCOMPARE(settings.comPortIrq, 4);
}

void DialogTests::interfaceIrqMissingFromTheList() {
  Settings settings;
  settings.comPort = 5;
  settings.comPortAddr = 0x2E8;
  settings.comPortIrq = 9;
  test::RecordingMessages messages;
  InterfaceDialog dialog(nullptr, settings, messages);
  dialog.show();
  QCOMPARE(Find<QComboBox>(&dialog, "irq")->currentIndex(), -1);
  QVERIFY(Find<QComboBox>(&dialog, "irq")->isEnabled());
  QCOMPARE(Find<QLineEdit>(&dialog, "address")->text(), QString("0x2E8"));
  Click(&dialog, "ok");
  QVERIFY(dialog.isVisible());
  QCOMPARE(messages.shown, std::vector<std::string>{"You must select an IRQ vector!"});
  QCOMPARE(settings.comPortIrq, 9);
}

void DialogTests::optionsUntickingFlexClearsFlexBusy() {
  MonitorRig rig;
  rig.monitor.front.shared.flexBusy = 1;
  rig.monitor.front.shared.gscBusy = 1;
  OptionsDialog dialog(nullptr, rig.settings, rig.monitor.front);
  dialog.show();
  auto* flex = Find<QCheckBox>(&dialog, "decodeFlex");
  QCOMPARE(flex->text(), QString("Decode FLEX/ReFLEX"));
  QVERIFY(flex->isChecked());
  QTest::mouseClick(flex, Qt::LeftButton, {}, QPoint(5, flex->height() / 2));
  Click(&dialog, "ok");
  QCOMPARE(rig.settings.decodeFlex, 0);
  QCOMPARE(rig.monitor.front.shared.flexBusy, 0);
  QCOMPARE(rig.monitor.front.shared.gscBusy, 1);
  QCOMPARE(rig.settings.decodeGolay, 1);
}

void DialogTests::colorsOkCancelAndDefaults() {
  test::RecordingMessages messages;
  CustomColors custom;
  const QColor chosen(10, 20, 30);

  {  // A text colour chosen, then Cancel: the preview showed it, the settings keep theirs.
    Settings settings;
    ColorsDialog dialog(nullptr, settings, messages, custom);
    dialog.show();
    auto* preview = Find<QWidget>(&dialog, "preview");
    QString title;
    WhenModal<QColorDialog>([&](QColorDialog* chooser) {
      title = chooser->windowTitle();
      QColorDialog::setCustomColor(3, QColor(1, 2, 3));  // the user stores a custom colour
      chooser->setCurrentColor(chosen);
      chooser->accept();
    });
    Click(&dialog, "color2");
    QCOMPARE(title, QString("Skelmar Capcode"));
    QCOMPARE(dialog.workingCopies().Get(kSlotCapcode), Rgb(10, 20, 30));
    // Line 0 starts with the capcode: its first pixels in the capcode colour.
    const QImage image = preview->grab().toImage();
    bool found = false;
    for (int x = 0; x < 40 && !found; ++x) {
      for (int y = 0; y < 12 && !found; ++y) found = image.pixelColor(x, y) == chosen;
    }
    QVERIFY(found);
    QCOMPARE(custom.colors[3], Rgb(1, 2, 3));  // kept for the next chooser of the run
    Click(&dialog, "cancel");
    QCOMPARE(settings.colors[kSlotCapcode], Rgb(0, 128, 0));
  }
  {  // Text colour and OK: written back, the background untouched and not "changed".
    Settings settings;
    WhenModal<QColorDialog>([&](QColorDialog* chooser) {
      chooser->setCurrentColor(chosen);
      chooser->accept();
    });
    WhenModal<ColorsDialog>([&](ColorsDialog* dialog) {
      Click(dialog, "color11");  // Filter Match
      Click(dialog, "ok");
    });
    const ColorsResult result = RunColorsDialog(nullptr, settings, messages, custom);
    QVERIFY(result.accepted);
    QVERIFY(!result.backgroundChanged);
    QCOMPARE(settings.colors[kSlotFilterMatch], Rgb(10, 20, 30));
    QCOMPARE(settings.colors[kSlotBackground], Rgb(0, 0, 0));
  }
  {  // Background chosen, then "&Default Colors": refused keeps it, confirmed resets.
    Settings settings;
    settings.colors[kSlotNumeric] = Rgb(1, 1, 1);
    ColorsDialog dialog(nullptr, settings, messages, custom);
    dialog.show();
    auto* preview = Find<QWidget>(&dialog, "preview");
    WhenModal<QColorDialog>([&](QColorDialog* chooser) {
      QCOMPARE(chooser->currentColor(), QColor(0, 0, 0));  // starts from the working colour
      chooser->setCurrentColor(QColor(0, 0, 128));
      chooser->accept();
    });
    Click(&dialog, "color1");
    QCOMPARE(PixelOf(preview, preview->width() - 2, preview->height() - 2), QColor(0, 0, 128));
    messages.shown.clear();
    messages.answer = 0;
    Click(&dialog, "defaults");
    QCOMPARE(messages.shown, std::vector<std::string>{"Reset ALL Colors to Default?"});
    QCOMPARE(dialog.workingCopies().Get(kSlotBackground), Rgb(0, 0, 128));
    messages.answer = 1;
    Click(&dialog, "defaults");
    QCOMPARE(PixelOf(preview, preview->width() - 2, preview->height() - 2), QColor(0, 0, 0));
    Click(&dialog, "ok");
    QVERIFY(!dialog.backgroundChanged());  // back at the background it had
    QCOMPARE(settings.colors[kSlotNumeric], Rgb(255, 0, 0));
  }
}

void DialogTests::colorsAccessKeysThatClashStillReachBothButtons() {
  Settings settings;
  test::RecordingMessages messages;
  CustomColors custom;
  ColorsDialog dialog(nullptr, settings, messages, custom);
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  QVERIFY(QTest::qWaitForWindowActive(&dialog));
  auto* capcode = Find<QPushButton>(&dialog, "color2");
  auto* cancel = Find<QPushButton>(&dialog, "cancel");
  QCOMPARE(capcode->text(), QString("&Capcode"));
  QCOMPARE(cancel->text(), QString("&Cancel"));
  QSet<QWidget*> reached;
  for (int i = 0; i < 2; ++i) {
    QTest::keyClick(&dialog, Qt::Key_C, Qt::AltModifier);
    reached << QApplication::focusWidget();
  }
  QCOMPARE(reached, (QSet<QWidget*>{capcode, cancel}));
  // Space presses the focused one: Cancel closes the dialog.
  if (QApplication::focusWidget() != cancel) QTest::keyClick(&dialog, Qt::Key_C, Qt::AltModifier);
  QTest::keyClick(cancel, Qt::Key_Space);
  QVERIFY(!dialog.isVisible());
  QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void DialogTests::fontChoiceRewritesTheRecord() {
  Settings settings;
  settings.font.quality = 5;
  QFont mono(QStringLiteral("Liberation Mono"));
  mono.setPointSize(12);  // the chooser works in points: 16 pixels on a 96-dpi screen
  mono.setWeight(QFont::Bold);
  QString title;
  QStringList offered;
  QString startFamily;
  QList<bool> effects;
  WhenModal<QFontDialog>([&](QFontDialog* chooser) {
    title = chooser->windowTitle();
    startFamily = chooser->currentFont().family();
    // Underline and Strikeout are not offered: the panes draw neither.
    for (QCheckBox* box : chooser->findChildren<QCheckBox*>()) effects << box->isVisible();
    const QStringList families = QFontDatabase::families();
    for (QListView* view : chooser->findChildren<QListView*>()) {
      for (int r = 0; r < view->model()->rowCount(); ++r) {
        const QString name = view->model()->index(r, 0).data().toString();
        if (families.contains(name)) offered << name;
      }
    }
    chooser->reject();
  });
  QVERIFY(!RunFontDialog(nullptr, settings));
  QCOMPARE(title, QString("Skelmar Font"));
  QCOMPARE(effects.size(), 2);  // the chooser still has them, hidden
  QVERIFY(!effects.contains(true));
  // Fixed-pitch fonts only, starting on the font that stands in for Courier New.
  QVERIFY(offered.contains("Liberation Mono"));
  for (const QString& family : offered)
    QVERIFY2(QFontDatabase::isFixedPitch(family), qPrintable(family));
  QCOMPARE(startFamily, QFontInfo(QFont("Courier New")).family());
  QCOMPARE(settings.font.height, -11);
  QCOMPARE(QString(settings.font.faceName), QString("Courier New"));

  WhenModal<QFontDialog>([&](QFontDialog* chooser) {
    chooser->setCurrentFont(mono);
    chooser->accept();
  });
  QVERIFY(RunFontDialog(nullptr, settings));
  QCOMPARE(QString(settings.font.faceName), QString("Liberation Mono"));
  QCOMPARE(settings.font.height, -16);
  QCOMPARE(settings.font.weight, 700);
  QCOMPARE(settings.font.quality, uint8_t{5});
  QCOMPARE(settings.font.charSet, uint8_t{255});
  // The preview keeps its own font whatever the panes use.
  QCOMPARE(ColorPreview::PreviewFont().pixelSize(), 11);
}

void DialogTests::filtersAddEditDelete() {
  MonitorRig rig;
  FiltersDialog dialog(nullptr, rig.settings, rig.monitor.filters, rig.monitor.filterProcessor,
                       rig.messages);
  dialog.show();
  auto* list = Find<QListWidget>(&dialog, "filters");

  // Add: Text first, with capcode and function off; a POCSAG capcode is padded.
  WhenModal<FilterEditDialog>([&](FilterEditDialog* edit) {
    auto* type = Find<QComboBox>(edit, "type");
    QCOMPARE(type->currentText(), QString("Text"));
    QVERIFY(type->isEnabled());
    QVERIFY(!Find<QLineEdit>(edit, "capcode")->isEnabled());
    QVERIFY(!Find<QComboBox>(edit, "function")->isEnabled());
    Pick(type, 1);
    QCOMPARE(type->currentText(), QString("POCSAG Capcode"));
    QVERIFY(Find<QComboBox>(edit, "function")->isEnabled());
    QTest::keyClicks(Find<QLineEdit>(edit, "capcode"), "12345678");  // 7 fit
    QTest::keyClicks(Find<QLineEdit>(edit, "label"), "Fire");
    Find<QCheckBox>(edit, "runCommand")->setChecked(true);
    Click(edit, "ok");
  });
  Click(&dialog, "add");
  QCOMPARE(list->count(), 1);
  QCOMPARE(list->item(0)->text(), QString("POCSAG | Fire | 1234567 | Any | CMD"));
  QCOMPARE(list->currentRow(), 0);
  QCOMPARE(rig.monitor.filters.count, 1);

  // Add cancelled: nothing added.
  WhenModal<FilterEditDialog>([&](FilterEditDialog* edit) { Click(edit, "cancel"); });
  Click(&dialog, "add");
  QCOMPARE(rig.monitor.filters.count, 1);

  // Edit by double-click: the type is locked, the fields filled.
  WhenModal<FilterEditDialog>([&](FilterEditDialog* edit) {
    QVERIFY(!Find<QComboBox>(edit, "type")->isEnabled());
    QCOMPARE(Find<QComboBox>(edit, "type")->currentText(), QString("POCSAG Capcode"));
    QCOMPARE(Find<QLineEdit>(edit, "capcode")->text(), QString("1234567"));
    auto* capcode = Find<QLineEdit>(edit, "capcode");
    capcode->clear();
    QTest::keyClicks(capcode, "12a");
    Click(edit, "ok");  // refused: the dialog stays
    QVERIFY(edit->isVisible());
    capcode->setText("123??");
    Pick(Find<QComboBox>(edit, "function"), 2);
    Click(edit, "ok");
  });
  const QRect row = list->visualItemRect(list->item(0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
  QCOMPARE(rig.messages.shown, std::vector<std::string>{"Invalid characters in capcode!"});
  QCOMPARE(list->item(0)->text(), QString("POCSAG | Fire | 00123?? | 2 | CMD"));
  QCOMPARE(rig.monitor.filters.entries[0].function, int8_t{2});

  // Delete asks with the line cut to 17 characters; Cancel keeps, OK deletes.
  rig.messages.shown.clear();
  rig.messages.answer = 0;
  Click(&dialog, "delete");
  QCOMPARE(rig.messages.shown, std::vector<std::string>{"Delete POCSAG | Fire | 0...?"});
  QCOMPARE(list->count(), 1);
  rig.messages.answer = 1;
  Click(&dialog, "delete");
  QCOMPARE(list->count(), 0);
  QCOMPARE(rig.monitor.filters.count, 0);
  QCOMPARE(list->currentRow(), -1);
  rig.messages.shown.clear();
  Click(&dialog, "edit");
  QCOMPARE(rig.messages.shown, std::vector<std::string>{"You must select a filter to edit!"});
}

void DialogTests::filterAddedWhileOpenMatchesTheNextPage() {
  MonitorRig rig;
  bool matchedBefore = true;
  bool matchedWhileOpen = false;
  WhenModal<FiltersDialog>([&](FiltersDialog* dialog) {
    rig.Page(1234567, "WATER MAIN BREAK");  // no filter yet
    matchedBefore = rig.FilterPaneHas("WATER");
    WhenModal<FilterEditDialog>([&](FilterEditDialog* edit) {
      QTest::keyClicks(Find<QLineEdit>(edit, "text"), "water");
      Click(edit, "ok");
    });
    Click(dialog, "add");
    rig.Page(1234567, "WATER MAIN BREAK");  // the next page, the dialog still open
    matchedWhileOpen = rig.FilterPaneHas("WATER MAIN BREAK");
    Click(dialog, "cancel");  // keeps the list edits
  });
  RunFiltersDialog(nullptr, rig.settings, rig.monitor.filters, rig.monitor.filterProcessor,
                   rig.messages);
  QVERIFY(!matchedBefore);
  QVERIFY(matchedWhileOpen);
  QCOMPARE(rig.monitor.filters.count, 1);
  QCOMPARE(QString(rig.monitor.filters.entries[0].text), QString("water"));
}

void DialogTests::filterFileTypedOrChosenFromItsButton() {
  MonitorRig rig;
  QTemporaryDir dir;
  const QString log = dir.filePath("pages.log");  // not there yet
  FiltersDialog dialog(nullptr, rig.settings, rig.monitor.filters, rig.monitor.filterProcessor,
                       rig.messages);
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  QVERIFY(QTest::qWaitForWindowActive(&dialog));
  auto* output = Find<QCheckBox>(&dialog, "outputEnabled");
  auto* flush = Find<QCheckBox>(&dialog, "flushEnabled");
  QVERIFY(!flush->isEnabled());
  output->setChecked(true);
  QVERIFY(flush->isEnabled());
  QVERIFY(!Find<QComboBox>(&dialog, "flushChoice")->isEnabled());
  flush->setChecked(true);
  Pick(Find<QComboBox>(&dialog, "flushChoice"), 2);  // "10 Seconds"
  Click(&dialog, "ok");                              // checked without a path
  QCOMPARE(rig.messages.shown, std::vector<std::string>{"You must select a filter file!"});
  QVERIFY(dialog.isVisible());

  // The field takes a path typed by hand; going to it opens nothing.
  auto* path = Find<QLineEdit>(&dialog, "outputPath");
  path->setFocus();
  QTest::keyClicks(path, dir.filePath("typed.log"));
  QTest::qWait(50);
  QCOMPARE(QApplication::activeModalWidget(), &dialog);
  QCOMPARE(path->text(), dir.filePath("typed.log"));
  // Its button opens the chooser; a chosen file replaces the text.
  QString title;
  WhenModal<QFileDialog>([&](QFileDialog* chooser) {
    title = chooser->windowTitle();
    chooser->selectFile(log);
    // selectFile leaves the name field alone once it has the focus, as it may under load.
    chooser->findChild<QLineEdit*>("fileNameEdit")->setText(log);
    static_cast<QDialog*>(chooser)->accept();  // the file dialog's own accept is protected
  });
  Click(&dialog, "outputPathBrowse");
  QTRY_COMPARE(path->text(), log);
  QCOMPARE(title, QString("Open Filter File..."));
  QTRY_COMPARE(dialog.focusWidget(), Find<QWidget>(&dialog, "ok"));
  // The command chooser lists programs, with no "*.exe" name to start from.
  QStringList patterns;
  QString startName;
  WhenModal<QFileDialog>([&](QFileDialog* chooser) {
    patterns = chooser->nameFilters();
    startName = chooser->findChild<QLineEdit*>("fileNameEdit")->text();
    chooser->reject();
  });
  Click(&dialog, "commandPathBrowse");
  QTRY_VERIFY(!patterns.isEmpty());
  QVERIFY2(!patterns.join(' ').contains(".exe"), qPrintable(patterns.join('|')));
  QCOMPARE(startName, QString());
  Click(&dialog, "ok");
  QVERIFY(!dialog.isVisible());
  QCOMPARE(QString(rig.settings.filterFile), log);
  QCOMPARE(rig.settings.filterFlushTime, 3);
  QVERIFY(rig.monitor.filterProcessor.logOpen());
}

void DialogTests::statisticsShowsStarsAndNeedsAPath() {
  Settings settings;
  StatCounters counters;
  counters.hourly[kRowPocsag1200][kStatNumeric] = 1234567;
  counters.daily[kRowPocsag1200][kStatNumeric] = 1234567;
  counters.hourly[kRowGsc][kStatAlpha] = 5;
  test::RecordingMessages messages;
  StatisticsDialog dialog(nullptr, settings, counters, messages);
  dialog.show();
  counters.hourly[kRowGsc][kStatAlpha] = 6;  // the dialog shows a snapshot
  QCOMPARE(Find<QLabel>(&dialog, "hourly_4_0")->text(), QString("******"));
  QCOMPARE(Find<QLabel>(&dialog, "daily_4_0")->text(), QString("1234567"));
  QCOMPARE(Find<QLabel>(&dialog, "hourly_6_1")->text(), QString("5"));
  auto* path = Find<QLineEdit>(&dialog, "statFile");
  QVERIFY(!path->isEnabled());
  Find<QCheckBox>(&dialog, "statFileEnabled")->setChecked(true);
  QVERIFY(path->isEnabled());
  Click(&dialog, "ok");
  QVERIFY(dialog.isVisible());
  QCOMPARE(messages.shown, std::vector<std::string>{"You must select a statistics file!"});
  // Escape closes without storing.
  QTest::keyClick(&dialog, Qt::Key_Escape);
  QVERIFY(!dialog.isVisible());
  QCOMPARE(settings.statFileEnabled, 0);

  // Opened with a file set: the chooser waits until the user goes to the path.
  settings.statFileEnabled = 1;
  std::snprintf(settings.statFile, sizeof settings.statFile, "/tmp/stats.txt");
  StatisticsDialog again(nullptr, settings, counters, messages);
  again.show();
  QApplication::setActiveWindow(&again);
  QVERIFY(QTest::qWaitForWindowActive(&again));
  QTest::qWait(50);
  QCOMPARE(QApplication::activeModalWidget(), &again);
  QCOMPARE(again.focusWidget(), Find<QWidget>(&again, "ok"));
  QTest::keyClick(&again, Qt::Key_Return);
  QVERIFY(!again.isVisible());
  QCOMPARE(QString(settings.statFile), QString("/tmp/stats.txt"));
}

void DialogTests::everyDialogRoundTripsThroughTheFile() {
  MonitorRig rig;
  Settings& s = rig.settings;
  test::RecordingMessages messages;
  CustomColors custom;

  WhenModal<InterfaceDialog>([&](InterfaceDialog* d) {
    Pick(Find<QComboBox>(d, "port"), 4);
    Find<QLineEdit>(d, "address")->setText("0x2A8");
    Pick(Find<QComboBox>(d, "irq"), 6);  // "10"
    Find<QCheckBox>(d, "fourLevel")->setChecked(true);
    Find<QCheckBox>(d, "invert")->setChecked(true);
    Find<QLineEdit>(d, "device")->setText("/dev/ttyUSB1");
    Click(d, "ok");
  });
  QVERIFY(RunInterfaceDialog(nullptr, s, messages));

  WhenModal<OptionsDialog>([&](OptionsDialog* d) {
    for (QCheckBox* box : d->findChildren<QCheckBox*>()) box->setChecked(!box->isChecked());
    Click(d, "ok");
  });
  QVERIFY(RunOptionsDialog(nullptr, s, rig.monitor.front));

  WhenModal<QFontDialog>([&](QFontDialog* chooser) {
    QFont font(QStringLiteral("Liberation Mono"));
    font.setPixelSize(13);
    font.setItalic(true);
    chooser->setCurrentFont(font);
    chooser->accept();
  });
  QVERIFY(RunFontDialog(nullptr, s));

  WhenModal<ColorsDialog>([&](ColorsDialog* d) {
    for (int i = 0; i < kColorButtons; ++i) {
      const int slot = kColorButtonTable[i].slot;
      WhenModal<QColorDialog>([&, slot](QColorDialog* chooser) {
        chooser->setCurrentColor(QColor(slot * 20, 7, 255 - slot));
        chooser->accept();
      });
      Click(d, QStringLiteral("color%1").arg(slot).toLatin1().constData());
    }
    Click(d, "ok");
  });
  QVERIFY(RunColorsDialog(nullptr, s, messages, custom).backgroundChanged);

  QTemporaryDir dir;
  WhenModal<FiltersDialog>([&](FiltersDialog* d) {
    WhenModal<FilterEditDialog>([&](FilterEditDialog* edit) {
      Pick(Find<QComboBox>(edit, "type"), kFilterGsc - 1);
      Find<QLineEdit>(edit, "capcode")->setText("12?");
      Find<QLineEdit>(edit, "label")->setText("Say \"hi\"");
      Pick(Find<QComboBox>(edit, "function"), 4);
      Find<QLineEdit>(edit, "text")->setText("back\\slash");
      Find<QCheckBox>(edit, "runCommand")->setChecked(true);
      Click(edit, "ok");
    });
    Click(d, "add");
    Find<QCheckBox>(d, "outputEnabled")->setChecked(true);
    Find<QLineEdit>(d, "outputPath")->setText(dir.filePath("f.log"));
    Find<QCheckBox>(d, "flushEnabled")->setChecked(true);
    Pick(Find<QComboBox>(d, "flushChoice"), 3);
    Find<QCheckBox>(d, "commandEnabled")->setChecked(true);
    Find<QLineEdit>(d, "commandPath")->setText("/usr/bin/true");
    Find<QLineEdit>(d, "commandArgs")->setText(" %c %m ");
    Click(d, "ok");
  });
  RunFiltersDialog(nullptr, s, rig.monitor.filters, rig.monitor.filterProcessor, messages);

  WhenModal<StatisticsDialog>([&](StatisticsDialog* d) {
    Find<QCheckBox>(d, "statFileEnabled")->setChecked(true);
    Find<QLineEdit>(d, "statFile")->setText(dir.filePath("stats.txt"));
    Click(d, "ok");
  });
  RunStatisticsDialog(nullptr, s, rig.monitor.stats, messages);
  QVERIFY(messages.shown.empty());

  // Every key a dialog edits now differs from its default.
  Settings defaults;
  const QStringList changed = DifferingKeys(s, defaults);
  for (const char* key : {"Timestamp",         "ConfirmExit",       "ShowNumeric",
                          "ShowMisc",          "FilterBeep",        "DecodePocsag",
                          "DecodeFlex",        "DecodeGolay",       "ComPort",
                          "ComPortAddr",       "ComPortIRQ",        "4LevelInterface",
                          "InvertData",        "SerialDevice",      "Font.Height",
                          "Font.Italic",       "Font.FaceName",     "Color.Background",
                          "Color.Capcode",     "Color.FLEXPhase",   "Color.FLEXFormat",
                          "Color.Timestamp",   "Color.Numeric",     "Color.Alphanumeric",
                          "Color.FLEXBinary",  "Color.BitErrors",   "Color.FilterMatch",
                          "Color.FilterLabel", "FilterFileEnabled", "FilterFile",
                          "FilterFileFlush",   "FilterFlushTime",   "FilterCmdFileEnabled",
                          "FilterCmdFile",     "FilterCmdArgs",     "StatFileEnabled",
                          "StatFile"}) {
    QVERIFY2(changed.contains(QString::fromLatin1(key)), key);
  }

  const std::filesystem::path file = dir.filePath("Skelmar.INI").toStdString();
  QCOMPARE(SaveSettings("Skelmar", file, s, rig.monitor.filters), 1);
  Settings loaded;
  FilterTable filters;
  QCOMPARE(LoadSettings("Skelmar", file, loaded, filters), 1);
  QCOMPARE(DifferingKeys(s, loaded), QStringList{});
  QCOMPARE(filters.count, 1);
  const FilterEntry& a = rig.monitor.filters.entries[0];
  const FilterEntry& b = filters.entries[0];
  QCOMPARE(b.type, int32_t{kFilterGsc});
  QCOMPARE(QString(b.capcode), QString(a.capcode));
  QCOMPARE(QString(b.capcode), QString("00012?"));
  QCOMPARE(b.function, a.function);
  QCOMPARE(QString(b.label), QString("Say \"hi\""));
  QCOMPARE(QString(b.text), QString("back\\slash"));
  QCOMPARE(b.runCommand, 1);
  rig.monitor.Stop();
}

QTEST_MAIN(DialogTests)
#include "dialogs_test.moc"
