#pragma once
// Keeps the secrets of a running program out of the files the system writes about it.
//
// While a Safe is open the program holds the key that opens it; a core dump written at a crash would
// hold it too, in a file anyone who gets the file can read. HardenProcess, called first thing by
// both programs, makes the process not dumpable (prctl PR_SET_DUMPABLE 0: no core dump, and other
// processes of the same user can no longer attach to it or read its memory through /proc) and sets
// its core-file size limit to 0 (RLIMIT_CORE), which programs it starts inherit. Keys and passwords
// themselves live in secret memory (base/SecretMemory.h): locked in RAM where the limit allows.
namespace quillmar {

// What HardenProcess achieved.
struct TProcessHardening {
  bool notDumpable = false;  // PR_SET_DUMPABLE is 0
  bool noCoreFile = false;   // RLIMIT_CORE is 0 (soft and hard)
};

// Idempotent; never fails the program (what the system refuses is reported in the result only).
TProcessHardening HardenProcess();

}  // namespace quillmar
