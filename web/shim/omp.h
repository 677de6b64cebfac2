// The browser build runs on one thread and has no OpenMP: the calls the core
// makes to pin libimagequant to one thread have nothing to pin.
#pragma once

inline int omp_get_max_threads() { return 1; }
inline void omp_set_num_threads(int) {}
