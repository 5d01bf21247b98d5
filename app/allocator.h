#pragma once

// Tells the C library to keep the memory that is freed during a frame instead of handing
// it back to the system at once. Called before the window exists; does nothing where the
// C library is not glibc.
void keepFreedMemory();
