#pragma once

#include "runtime/int16.h"

#include <QString>

// What the reception keeps between ticks. One object lives for the whole run
// and is handed to whoever reads or writes it.
struct ReceptionState {
    QString Rx_Line;      // what was last taken from the port
    rt::Int16 Rx_Len = 0; // its length after a final LF CR was removed
    rt::Int16 Sens_A = 0; // the last parsed values
    rt::Int16 Sens_B = 0;
    rt::Int16 Sens_C = 0;
};
