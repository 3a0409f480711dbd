#include "window/group_box_frame_style.h"

#include <QApplication>
#include <QGroupBox>
#include <QImageReader>
#include <QStyleFactory>
#include <QStyleOption>
#include <qdrawutil.h>

namespace {

const QString kFusion = QStringLiteral("fusion");
const QString kFrameImage = QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png");
constexpr int kTopMargin = 3; // Fusion's space above the frame
constexpr QMargins kFrameBorder(6, 6, 6, 6);

QPixmap readPng(const QString &path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

} // namespace

GroupBoxFrameStyle::GroupBoxFrameStyle()
    : QProxyStyle(QStyleFactory::create(kFusion))
    , m_frame(readPng(kFrameImage))
{
}

void GroupBoxFrameStyle::installOverFusion()
{
    if (QApplication::style()->name().compare(kFusion, Qt::CaseInsensitive) == 0)
        QApplication::setStyle(new GroupBoxFrameStyle);
}

// Fusion's own geometry: the frame starts below the title, or just below the
// top edge of a box with neither title nor check box.
void GroupBoxFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                       const QWidget *widget) const
{
    if (element != PE_FrameGroupBox || m_frame.isNull()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const auto *box = qobject_cast<const QGroupBox *>(widget);
    const bool bare = box != nullptr && !box->isCheckable() && box->title().isEmpty();
    const int top = bare ? kTopMargin
                         : std::max(pixelMetric(PM_ExclusiveIndicatorHeight), option->fontMetrics.height()) + kTopMargin;
    qDrawBorderPixmap(painter, option->rect.adjusted(0, top, 0, 0), kFrameBorder, m_frame);
}
