#pragma once

class QLineEdit;

namespace Ordavex {

// The field's context menu offers only what works in a cell or in the wind field: cut,
// copy, paste, delete and select all, without shortcut hints, since those keys type
// control characters that the fields drop. Undo and redo are left out: every text the
// program puts into the field (the cursor moving on, a completed time, a normalised
// wind, opening or clearing a heat) empties its history, so they have nothing to undo.
void OfferEditingMenuOnly(QLineEdit *field);

} // namespace Ordavex
