#include "window/port_combo_box.h"

#include <QLineEdit>

PortComboBox::PortComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Inline completion would turn a typed "C" into "Com 1": what is typed stays as typed.
    setCompleter(nullptr);
    connect(lineEdit(), &QLineEdit::textEdited, this, &PortComboBox::forgetChoiceKeepingText);
}

void PortComboBox::showPopup()
{
    emit aboutToShowPopup();
    QComboBox::showPopup();
}

void PortComboBox::forgetChoiceKeepingText()
{
    if (currentIndex() < 0)
        return;
    // Dropping the choice also clears the edit field: put the typed text back.
    const QString typed = lineEdit()->text();
    const int cursor = lineEdit()->cursorPosition();
    setCurrentIndex(-1);
    lineEdit()->setText(typed);
    lineEdit()->setCursorPosition(cursor);
}
