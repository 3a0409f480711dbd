#pragma once

#include "reception/reception_state.h"

// How one tick's text was judged.
enum class RecordOutcome {
    Rejected, // shown only: not starting with a digit, or no whole record
    Parsed,   // Sens_A, Sens_B, Sens_C hold the record's three fields
    Silent,   // fewer than two characters waited: nothing taken, values 0 (Read_Record only)
};

// Judges state.Rx_Line, the text taken from the port in one tick, and
// parses its first record into the state.
//
// A text whose first character is not a digit 0-9 is rejected untouched.
// Otherwise Rx_Len takes its length (over 32767 characters raises the
// overflow error 6, nothing else changed), and a final LF CR (in that order;
// CR LF stays) is taken off Rx_Line and Rx_Len. The record is the text up to
// its first CR or LF; a record without two commas is rejected, leaving the
// values and Rx_Line as they now are. Field A runs to the first comma, B to
// the second, C to the end of the record, each read by rt::leadingInt16.
// Each value is stored as soon as its field is converted, so an overflow
// error (6) in field B leaves Sens_A new and Sens_B, Sens_C as they were,
// with Rx_Line still holding the text. A parse empties Rx_Line.
RecordOutcome parseRecord(ReceptionState &state);
