#include "setup/setup_chart.h"

#include "runtime/number_text.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

namespace {
constexpr int kPortCount = 9;
} // namespace

void Init_Ports(const PortControls &controls)
{
    for (int port = 1; port <= kPortCount; ++port)
        controls.portList.addItem(QStringLiteral("Com") + rt::signSpacedText(port));
    // The prompt is shown in the edit field, not added to the list: no entry is chosen.
    controls.portList.setCurrentIndex(-1);
    controls.portList.setEditText(QStringLiteral("Выберите COM порт"));
    // The prompt is wider than the box: show its beginning, not its end.
    if (QLineEdit *edit = controls.portList.lineEdit())
        edit->setCursorPosition(0);
    controls.openClose.setText(QStringLiteral("Открыть порт"));
}
