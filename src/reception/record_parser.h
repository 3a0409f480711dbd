#pragma once

#include "reception/reception_state.h"

// How one tick's text was judged.
enum class RecordOutcome {
    Rejected, // shown only: not starting with a digit, or no whole record
    Parsed,   // Sens_A, Sens_B, Sens_C hold the record's three fields
};

// Judges state.Rx_Line, the text taken from the port in one tick, and
// parses its first record into the state. The record is the text up to its
// first CR or LF; it must start with a digit and hold two commas. Each value
// is stored as soon as its field is converted, so an overflow error (6) in
// field B leaves Sens_A new and Sens_B, Sens_C as they were, with Rx_Line
// still holding the text. A parse empties Rx_Line; a rejection leaves the
// values, Rx_Len and Rx_Line as they were.
RecordOutcome parseRecord(ReceptionState &state);
