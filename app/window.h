#pragma once

// Start-up up to the main loop: the allocator told to keep freed memory, then, in the program's order: display mode and window size
// before glutInit, the window titled "Sphaerix", the callbacks display, reshape,
// keyboard, mouse, motion and idle. The caller builds the scene next.
void openWindow(int& argc, char** argv, int width, int height);
