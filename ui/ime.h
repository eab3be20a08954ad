#pragma once

class QWidget;

namespace Ordavex {

// Closes the input-method editor for a field that takes half-width digits only, so the
// operator types plain characters. Platforms without one are left as they are.
void SwitchImeOff(QWidget *field);

} // namespace Ordavex
