// Counting heap allocations around evaluation loops: how many allocations
// the process has made so far, on every thread, by the program and by the
// module it loaded.  Linked only into the programs that count (the
// allocation test and the benchmark program), never into the main suite.
//
// How each build counts:
//   - Linux: malloc, calloc, realloc and the aligned allocations are
//     replaced in the program, so every shared object (the module among
//     them) allocates through them; the C++ runtime's operator new
//     allocates through malloc.
//   - AddressSanitizer and ThreadSanitizer own malloc and operator new and
//     cannot have them replaced; their allocators report every allocation
//     to the hooks the program installs instead.
//   - Windows: the module and the program import the C runtime's allocation
//     functions; their import tables are pointed at counting functions.
#pragma once

namespace qvalloc {

// Allocations made so far (each malloc, calloc, realloc, aligned allocation
// or operator new counts one).
long allocations();

// How this build counts, in a few words.
const char *counting_method();

// Also counts what the module holding `address` allocates, where counting
// needs to be told of a loaded module (Windows); true when it is counted.
bool watch_module(const void *address);

}  // namespace qvalloc
