#pragma once
// How many threads bulk work (encrypting and decrypting whole files, reading a large file ahead,
// rebuilding a container) may keep busy at once.
//
// By default: the CPUs this process may run on (its affinity mask when it first asks, so a program
// started with `taskset -c 0` counts one). The environment variable QM_THREADS, when it holds a whole number
// from 1 to 64, takes its place; QM_THREADS=1 runs every such operation on the calling thread alone, as a
// one-core machine does (for comparison and for finding faults). The variable is read at every call,
// so a change applies to the next operation.
namespace quillmar {

inline constexpr int kMaxWorkerThreads = 64;

// At least 1, at most kMaxWorkerThreads.
int WorkerThreadCount();

}  // namespace quillmar
