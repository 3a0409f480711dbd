#pragma once

#include <QPixmap>
#include <QProxyStyle>

// Fusion as it is, but for one thing: the frame of a group box is drawn from
// Fusion's own image read as PNG and nothing else. Fusion reads that image
// leaving the format to be detected, which loads every image plugin (GIF,
// ICO, JPEG, SVG and the SVG library) at the window's first paint, for an
// image the program never needs them for.
class GroupBoxFrameStyle : public QProxyStyle {
public:
    GroupBoxFrameStyle();

    // Installs it when the application's style is Fusion; any other style is left alone.
    static void installOverFusion();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;

private:
    QPixmap m_frame;
};
