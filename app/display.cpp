#include "app/display.h"

// Filled in with the interactive program.
void drawFrame() {}
void display() {}
void reshape(int, int) {}
void keyboard(unsigned char, int, int) {}
void mouse(int, int, int, int) {}
void motion(int, int) {}
void idle() {}
