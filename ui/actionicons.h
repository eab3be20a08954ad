#pragma once

#include <QIcon>
#include <QProxyStyle>

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

// The tool-bar and menu icons, drawn in code at the size asked for: decoding the
// style's stock images costs more than building the rest of the window.
QIcon ActionIcon(ActionIconKind kind);

// The program's own icon (the installed one is resources/ordavex.svg, drawn alike).
QIcon AppIcon();

// The platform's style with the extension buttons of the tool bar and the menu bar
// drawn in code: their stock images would load the image-format plug-ins at start.
class DrawnStyle final : public QProxyStyle
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DrawnStyle)

public:
    DrawnStyle() = default;
    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};

} // namespace Ordavex
