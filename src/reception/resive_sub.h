#pragma once

#include "reception/reception_state.h"
#include "reception/record_parser.h"

#include <array>

class MSComm;
class QLineEdit;

// The boxes a reception writes: the raw text and the values of A, B and C.
struct ReceptionBoxes {
    QLineEdit &raw;
    std::array<QLineEdit *, 3> values;
};

// Takes one record from the port: with fewer than 2 characters waiting it
// empties the boxes and zeroes the values; otherwise it takes everything
// waiting, shows it raw and, when a record parses, shows its three values.
// Tells which of these happened. Errors (the overflow error of a field)
// leave the state as the failing step left it.
RecordOutcome Read_Record(ReceptionState &state, MSComm &port, const ReceptionBoxes &boxes);
