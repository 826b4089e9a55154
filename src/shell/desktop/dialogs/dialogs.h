// The setup, filter and statistics dialogs, one entry function per menu
// command. Each runs its dialog modally over `owner` (centred on it) and
// returns when it is closed; the main window's timer, and with it decoding,
// goes on meanwhile. Messages and questions go through `messages` (the main
// window's dialogs 101 and 106; they should sit over the active modal dialog).
#pragma once

#include "output/setup_dialogs.h"

class QWidget;

namespace skelmar {
class FilterProcessor;
class ChannelControl;
class MessageSink;
struct FilterTable;
struct StatCounters;
}  // namespace skelmar

namespace skelmar::desktop {

/// "&Interface..." (dialog 103). True on OK. The caller then reopens the slicer
/// link when `InterfaceLinkChanged(before, settings)` holds for a copy of the
/// settings it took before the call (port, address, IRQ or device changed).
bool RunInterfaceDialog(QWidget* owner, Settings& settings, MessageSink& messages);

/// "&Options..." (dialog 104). True on OK; the settings are updated and the
/// channel has let go of what a switched-off decoder held (the next sample
/// sees both); nothing else to do.
bool RunOptionsDialog(QWidget* owner, Settings& settings, ChannelControl& channel);

/// "&Font..." (the font chooser, fixed-pitch fonts only). True on OK, with
/// `settings.font` rewritten from the choice (its other fields kept). The
/// caller then rebuilds the pane font from the record, recomputes CharWidth,
/// LineHeight and TextWidth (`PaneViewMetrics`) and lays both panes out again
/// at once. The colour preview keeps its own font.
bool RunFontDialog(QWidget* owner, Settings& settings);

struct ColorsResult {
  bool accepted = false;           ///< OK: the ten text colours were written back
  bool backgroundChanged = false;  ///< OK and `Color.Background` changed
};
/// "&Colors..." (dialog 105). `custom` is the program's one set of 16 custom
/// colours (white at start, never saved), shared by every colour chooser.
/// After OK the caller repaints both panes with their backgrounds erased and,
/// only when `backgroundChanged`, rebuilds the panes' background from
/// `Color.Background` first. After Cancel nothing changed.
ColorsResult RunColorsDialog(QWidget* owner, Settings& settings, MessageSink& messages,
                             CustomColors& custom);

/// "&Filter..." (dialog 107, with 108 for Add and Edit). List edits reach
/// `table` at once and stay after Cancel; OK stores the action settings and
/// reopens the filter log through `processor`. Nothing left for the caller.
void RunFiltersDialog(QWidget* owner, Settings& settings, FilterTable& table,
                      FilterProcessor& processor, MessageSink& messages);

/// "&Statistics..." (dialog 109): the counts at this moment and the report
/// file settings (stored by OK; Escape closes without storing them).
void RunStatisticsDialog(QWidget* owner, Settings& settings, const StatCounters& counters,
                         MessageSink& messages);

}  // namespace skelmar::desktop
