// Puts a dialog where the core's centring rule says, from the dialog's show event.
#pragma once

class QWidget;

namespace skelmar::desktop {

/// Moves `dialog` (already sized, about to be shown) to the place `CenterDialog`
/// gives over its parent window (or the screen when it has none), inside the
/// screen's available area. Call it from the dialog's showEvent.
void PlaceDialog(QWidget& dialog);

}  // namespace skelmar::desktop
