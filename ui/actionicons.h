#pragma once

#include <QIcon>
#include <QPixmap>
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
    HeatSheet,
    Board,
};

// The tool-bar and menu icons, drawn in code at the size asked for: decoding the
// style's stock images costs more than building the rest of the window.
QIcon ActionIcon(ActionIconKind kind);

// The program's own icon (the installed one is resources/ordavex.svg, drawn alike).
QIcon AppIcon();

// The platform's style with what it would take from stock images drawn in code: the
// extension buttons of the tool bar and the menu bar and, under Fusion, the frame of a
// group box. Decoding one image loads the image-format plug-ins, which at start costs
// more than a window's worth of widgets.
class DrawnStyle final : public QProxyStyle
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DrawnStyle)

public:
    DrawnStyle() = default;
    ~DrawnStyle() override;
    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;

private:
    mutable QPixmap m_groupBoxFrame;   // made at the first group box drawn
};

} // namespace Ordavex
