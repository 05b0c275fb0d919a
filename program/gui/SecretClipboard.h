// Copying secrets (passwords) to the clipboard: the data carries the
// x-kde-passwordManagerHint entry "secret", so clipboard managers do not keep
// it, and the clipboard is cleared after the number of seconds in "clipboard"
// of section "Options" in kh.ini (default 30, 0 = never) if it still holds
// that text (and when the program ends). Only a hash of the text is kept to
// recognise it.
#pragma once

#include <QString>

namespace SecretClipboard {

constexpr int kDefaultSeconds = 30;

// The delay read from the settings file, in seconds (0 = never clear).
int ClearDelaySeconds();

// Puts `text` on the clipboard as a secret and schedules its clearing.
void Copy(const QString& text);

// Clears the clipboard now when it still holds the last secret copied.
void ClearIfStillHeld();

}  // namespace SecretClipboard
