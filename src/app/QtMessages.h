// Qt's own diagnostics, such as "QStandardPaths: XDG_RUNTIME_DIR not set" in
// a plain terminal or a plug-in's complaints, are written for developers and
// mean nothing to a salon's staff: they are hidden unless asked for.
#pragma once

namespace tarvex {

// The environment variable that shows Qt's diagnostics: set to anything but
// an empty text or "0", Qt writes them to standard error as usual.
inline constexpr const char* kQtMessagesVariable = "TARVEX_QT_MESSAGES";

// Unless kQtMessagesVariable asks for them, Qt's messages are dropped from
// here on, all but a fatal one, which is written since the program then
// ends. Called first thing, before Qt can say anything.
void hideQtMessagesUnlessAsked();

} // namespace tarvex
