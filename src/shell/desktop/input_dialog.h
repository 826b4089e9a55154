// The window's input choosers: File › Open Recording… and File › Receiver…
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "session/options.h"
#include "session/receiver_settings.h"

class QWidget;

namespace skelmar::desktop {

/// The file chooser's type filters, in its order.
inline constexpr const char* kEdgeFilter = "Edge recordings (*.edges *.txt)";
inline constexpr const char* kAudioFilter = "Audio files (*.wav *.flac *.ogg *.au *.aiff *.raw)";
inline constexpr const char* kIqFilter =
    "IQ captures (*.cu8 *.cs8 *.cs16 *.cf32 *.sigmf-meta *.sigmf-data *.iq *.wav)";

/// The input a chosen file is decoded as: the type filter chosen, else the
/// file's extension (a WAV is audio unless the IQ filter was chosen).
InputKind RecordingKind(const std::string& path, const QString& filter);

/// Asks for a recording; none when cancelled.
std::optional<std::pair<InputKind, std::string>> ChooseRecording(QWidget* owner);

/// "Skelmar Receiver": the serial slicer, a sound card, an rtl_tcp server
/// or an SDR device, with the channel, centre and gain of the SDR choices.
/// Starts on `current` and returns the choice; none when cancelled.
/// `serialPort` describes the Interface dialog's port.
std::optional<ReceiverSettings> ChooseReceiver(QWidget* owner, const ReceiverSettings& current,
                                               const QString& serialPort);

}  // namespace skelmar::desktop
