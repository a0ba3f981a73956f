// The task a tool built on the generic main provides: count is the number
// of entries of args (entry 0 the program name, then the positional
// arguments, then a null pointer).
#pragma once

void task(int count, char** args);
