#pragma once

// A durable step has been taken: a file synced, renamed or removed, or a frame that changes the
// station sent. The reception's crash safety is tested by ending the program at every such
// step, as a power cut would: with NORVEL_STOP_AT_STEP=N in the environment, the N-th step ends
// the process at once (exit code 97). Without it, nothing happens.
void DurableStepTaken(const char* what);
