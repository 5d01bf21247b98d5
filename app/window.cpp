#include "app/window.h"

// Filled in with the interactive program.
void openWindow(int&, char**, int, int) {}
