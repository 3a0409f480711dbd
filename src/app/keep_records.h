#pragma once

class Form1;
struct Recording;

// Hands every tick's row and every received byte to the files the command
// line asked for, and has the window show the box when one of them fails.
// A file that was not asked for gets nothing.
void keepRecords(Form1 &window, Recording &recording);
