// SPDX-License-Identifier: MIT
// The panel's text font. The bundled Liberation Sans stands in for the
// platform's dialog font, so every caption fits its box the same way on every
// machine, whatever fonts it has installed.
#pragma once

class QFont;

namespace panel {

/// Chosen so that every caption is whole inside its box at the layout's
/// geometry: at 11 px "ACK               S6" is 82 px wide in an 81 px label and
/// the check box's caption overflows its 137 px.
inline constexpr int kFontPixelSize = 10;

/// The bundled font at kFontPixelSize, loaded from the resources on first use.
QFont panelFont();
/// Makes panelFont() the application font; call before creating any window.
void useApplicationFont();

} // namespace panel
