#pragma once

#include <QComboBox>

// The port list: an editable combo box that never adds typed text to its
// list. Typing leaves no entry chosen, so the port opened later is never one
// that the box does not show.
class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit PortComboBox(QWidget *parent = nullptr);

    void showPopup() override;

signals:
    // The list is about to drop down: a moment to refresh what it tells.
    void aboutToShowPopup();

private:
    void forgetChoiceKeepingText();
};
