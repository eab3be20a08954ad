#pragma once

#include <QIcon>

namespace Ordavex {

enum class ActionIconKind {
    Timetable,
    OpenFile,
    Save,
    Clipboard,
    Rename,
    SerialLink,
    LinkSettings,
    Erase,
    Delete,
    Close,
};

// The tool-bar and menu icons, drawn at start: decoding the style's stock images at
// every size costs more than building the rest of the window.
QIcon ActionIcon(ActionIconKind kind);

// The program's own icon (the installed one is resources/ordavex.svg, drawn alike).
QIcon AppIcon();

} // namespace Ordavex
