#include "setup/setup_chart.h"

#include "runtime/number_text.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>

namespace {

constexpr int kPortCount = 9;
// A line edit keeps this many pixels free on either side of its text.
constexpr int kLineEditTextMargin = 2;
// Closer than this, letters start to touch.
constexpr qreal kTightestSpacing = -0.5;
constexpr qreal kSpacingStep = 0.05;

// In Liberation Sans, the font the layout is made for, the prompt needs a
// few pixels more than the edit field has beside the arrow: its letters move
// closer together by just what it takes, so that no letter is cut.
void fitPrompt(QComboBox &box)
{
    QLineEdit *edit = box.lineEdit();
    if (edit == nullptr)
        return;
    QStyleOptionComboBox option;
    option.initFrom(&box);
    option.editable = true;
    const int room = box.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &box).width()
        - 2 * kLineEditTextMargin;
    const QString prompt = edit->text();
    const int needed = edit->fontMetrics().horizontalAdvance(prompt);
    if (needed <= room || prompt.isEmpty())
        return;
    QFont font = edit->font();
    for (qreal spacing = -kSpacingStep; spacing >= kTightestSpacing; spacing -= kSpacingStep) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
        if (QFontMetrics(font).horizontalAdvance(prompt) <= room)
            break;
    }
    edit->setFont(font);
}

} // namespace

void Init_Ports(const PortControls &controls)
{
    for (int port = 1; port <= kPortCount; ++port)
        controls.portList.addItem(QStringLiteral("Com") + rt::signSpacedText(port));
    // The prompt is shown in the edit field, not added to the list: no entry is chosen.
    controls.portList.setCurrentIndex(-1);
    controls.portList.setEditText(QStringLiteral("Выберите COM порт"));
    fitPrompt(controls.portList);
    // The prompt is wider than the box: show its beginning, not its end.
    if (QLineEdit *edit = controls.portList.lineEdit())
        edit->setCursorPosition(0);
    controls.openClose.setText(QStringLiteral("Открыть порт"));
}
