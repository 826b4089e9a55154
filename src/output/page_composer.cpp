// From page events to the monitor line: the capcode block, the FLEX format
// caption, the colours of the text, the filter lookup, the count and the record.
#include "output/page_composer.h"

#include <cstdio>

namespace skelmar {
namespace {

struct TypeForm {
  const char* record;  ///< the page record's type word
  int statKind;        ///< StatKind, or -1 when not counted
  int slot;            ///< colour of the text
  int errorSlot;       ///< colour of text from a word beyond repair
};

// Indexed by PageType.
constexpr TypeForm kTypeForms[] = {
    {"numeric", kStatNumeric, kSlotNumeric, kSlotBitErrors},
    {"tone", kStatNumeric, kSlotNumeric, kSlotBitErrors},
    {"alpha", kStatAlpha, kSlotAlphanumeric, kSlotBitErrors},
    // A FLEX short message's second word shows its errors in the record only.
    {"short", kStatNumeric, kSlotNumeric, kSlotNumeric},
    {"secure", kStatAlpha, kSlotAlphanumeric, kSlotBitErrors},
    {"", -1, 0, 0},
    {"binary", -1, kSlotFlexBinary, kSlotFlexBinary},
};

/// FLEX format captions by vector message type, exactly seven characters each.
constexpr const char* kFlexFormats[8] = {"SECURE ", "-INST- ", "SH/TONE", "ST NUM ",
                                         "SF NUM ", " ALPHA ", "BINARY ", "NU NUM "};

/// How a protocol writes an address.
struct AddressForm {
  char open;
  char close;
  int digits;
  int filterType;
  bool showsFunction;
};

AddressForm AddressFormOf(const PageStart& start) {
  switch (start.protocol) {
    case PageProtocol::kPocsag:
      return {'{', '}', 7, kFilterPocsag, true};
    case PageProtocol::kFlex:
      return start.longAddress ? AddressForm{'[', ']', 9, kFilterFlexLong, false}
                               : AddressForm{'[', ']', 7, kFilterFlexShort, false};
    case PageProtocol::kGsc:
      break;
  }
  return {'(', ')', 6, kFilterGsc, true};
}

const TypeForm& FormOf(PageType type) { return kTypeForms[static_cast<int>(type)]; }

bool IsAlphanumeric(PageType type) { return type == PageType::kAlpha || type == PageType::kSecure; }

}  // namespace

bool PageComposer::Shown(const PageStart& start) const {
  const Settings& settings = sinks_.settings;
  switch (start.type) {
    case PageType::kAlpha:
    case PageType::kSecure:
      return true;
    case PageType::kNumeric:
    case PageType::kTone:
    case PageType::kShort:
      // GSC shows every page; POCSAG takes any non-zero ShowNumeric as on,
      // FLEX only 1.
      if (start.protocol == PageProtocol::kGsc) return true;
      if (start.protocol == PageProtocol::kPocsag) return settings.showNumeric != 0;
      return settings.showNumeric == 1;
    case PageType::kBinary:
      return settings.showMisc == 1;
    case PageType::kInstruction:
      break;
  }
  return false;
}

bool PageComposer::PageBegin(const PageStart& start) {
  const TypeForm& form = FormOf(start.type);
  if (form.statKind >= 0) sinks_.stats.CountMessage(start.statRow, form.statKind);
  if (!Shown(start)) return false;

  WriteCapcode(start);
  PageRecorder& record = sinks_.pages;
  record.SetPhase(start.phase);
  record.SetFlexFrame(start.longAddress, start.cycle, start.frame);
  record.SetFragment(start.fragment, start.continued, start.messageNumber);
  record.SetType(form.record);
  if (start.bitErrors) record.MarkBitErrors();
  if (IsAlphanumeric(start.type)) record.MarkAlphaStart();

  TextPane& pane = sinks_.monitorPane;
  if (start.vectorType >= 0 && start.vectorType < 8) {
    pane.SetColor(kSlotFlexPhase);
    pane.PutChar(start.phase);
    pane.PutChar(' ');
    pane.SetColor(kSlotFlexFormat);
    pane.PutText(kFlexFormats[start.vectorType]);
    pane.PutChar(' ');
  }
  pane.MarkMessageStart();
  if (start.type == PageType::kTone && start.protocol == PageProtocol::kPocsag) {
    pane.SetColor(kSlotNumeric);
    pane.PutText("TONE ONLY");
  }
  textSlot_ = form.slot;
  errorSlot_ = form.errorSlot;
  open_ = true;
  return true;
}

void PageComposer::WriteCapcode(const PageStart& start) {
  const AddressForm form = AddressFormOf(start);
  char text[32];
  if (start.uncorrectable) {
    text[0] = form.open;
    for (int i = 1; i <= form.digits; ++i) text[i] = '?';
    text[form.digits + 1] = form.close;
    text[form.digits + 2] = 0;
    sinks_.filters.ClearMatch();
  } else {
    if (form.showsFunction) {
      std::snprintf(text, sizeof text, "%c%0*li%c %1i", form.open, form.digits,
                    static_cast<long>(start.capcode), form.close, static_cast<int>(start.function));
    } else {
      std::snprintf(text, sizeof text, "%c%0*li%c", form.open, form.digits,
                    static_cast<long>(start.capcode), form.close);
    }
    sinks_.filters.LookupCapcode(form.filterType, text + 1, start.function);
  }

  // The record keeps the digits without the brackets.
  char digits[sizeof text];
  int n = 0;
  while (text[1 + n] != 0 && text[1 + n] != form.close) {
    digits[n] = text[1 + n];
    ++n;
  }
  digits[n] = 0;
  PageRecorder& record = sinks_.pages;
  record.Begin(start.protocol, start.speed, start.levels);
  record.SetCapcode(digits);
  record.SetFunction(start.function);
  record.SetFunctionBits(start.functionBits);
  record.SetInverted(start.inverted);
  if (start.uncorrectable) record.MarkBitErrors();

  TextPane& pane = sinks_.monitorPane;
  pane.StampTime();
  PutChannelName();
  pane.MarkCapcodeStart();
  pane.SetColor(kSlotCapcode);
  pane.PutText(text);
  pane.MarkCapcodeEnd();
  pane.PutChar(' ');
}

void PageComposer::PageText(const TextPiece& text) {
  if (!open_) return;
  TextPane& pane = sinks_.monitorPane;
  PageRecorder& record = sinks_.pages;
  if (text.errors) record.MarkBitErrors();
  if (text.secondReading) {
    pane.PutChar(' ');
    pane.SetColor(kSlotAlphanumeric);
    for (int32_t i = 0; i < text.length; ++i) pane.PutChar(text.chars[i]);
    record.SetAlphaText(text.chars, text.length);
    return;
  }
  pane.SetColor(text.held || !text.errors ? textSlot_ : errorSlot_);
  for (int32_t i = 0; i < text.length; ++i) pane.PutChar(text.chars[i]);
  record.Append(text.chars, text.length);
}

void PageComposer::PageEnd() {
  if (!open_) return;
  open_ = false;
  sinks_.monitorPane.EndLine();
  sinks_.pages.Commit(sinks_.filterProcessor.lastMatch);
}

void PageComposer::PutChannelName() {
  if (sinks_.channelName == nullptr) return;
  TextPane& pane = sinks_.monitorPane;
  pane.SetColor(kSlotTimestamp);
  pane.PutText(sinks_.channelName);
  pane.PutChar(' ');
}

void PageComposer::FlexUnknownSync(const uint32_t (&syncWords)[4]) {
  TextPane& pane = sinks_.monitorPane;
  pane.SetColor(kSlotUnknownSync);
  pane.EndLine();
  PutChannelName();
  pane.SetColor(kSlotUnknownSync);
  pane.PutText("UNKNOWN SYNC HEADER : ");
  char hex[12];
  for (uint32_t word : syncWords) {
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(word));
    pane.PutText(hex);
  }
  pane.EndLine();
}

void PageComposer::FlexReflexFrame(const int32_t* const (&phaseWords)[4], int32_t wordCount) {
  TextPane& pane = sinks_.monitorPane;
  const int32_t first = phaseWords[0][0];
  PutChannelName();
  pane.SetColor(kSlotFlexFormat);
  pane.PutChar('[');
  if (first > 0x3FFFFF) pane.SetColor(kSlotBitErrors);
  char hex[12];
  std::snprintf(hex, sizeof hex, "%06lX", static_cast<unsigned long>(first));
  pane.PutText(hex);
  pane.PutChar(']');
  // Every word's three 7-bit characters, phase by phase; empty and idle words
  // are left out.
  for (int32_t k = 0; k < wordCount; ++k) {
    for (const int32_t* words : phaseWords) {
      const int32_t w = words[k];
      pane.SetColor(w > 0x200000 ? kSlotBitErrors : kSlotAlphanumeric);
      if (w == 0 || w == 0x1FFFFF) continue;
      pane.PutChar(static_cast<char>(w & 0x7F));
      pane.PutChar(static_cast<char>((w >> 7) & 0x7F));
      pane.PutChar(static_cast<char>((w >> 14) & 0x7F));
    }
  }
  pane.EndLine();
}

}  // namespace skelmar
