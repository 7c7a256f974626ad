#pragma once

// The let-events-run operation, in two flavours.
//
// DoEvents() runs whatever is pending and returns at once; loops that push bytes use it.
// WaitEvents() sleeps until at least one event arrives (a timer tick, received bytes, a
// click, a window closing) and runs it; loops that wait for something use it so that a
// wait never burns a core. The caller must make sure some event will come (an enabled
// timer, or a deadline timer of its own).
void DoEvents();
void WaitEvents();
