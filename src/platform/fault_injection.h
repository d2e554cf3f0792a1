#pragma once
// Test builds only: make chosen sectors of a file fail to read (or to be
// written) with EIO, the way a failing disk does, without needing
// device-mapper on the machine; and hold reads of chosen sectors at a gate, so a test can act at a known point
// of a worker's run instead of racing it.

#ifdef KESTRUM_FAULT_INJECTION

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrum::testing {

// Every read that touches [first, first + count) of the file at `path`
// (absolute sectors of the file) fails.
void InjectReadFault(const std::string& path, std::uint64_t first, std::uint64_t count);
// Every write that touches [first, first + count) of the file fails.
void InjectWriteFault(const std::string& path, std::uint64_t first, std::uint64_t count);
// Clears read and write faults alike.
void ClearReadFaults();
// Used by the sector reader and writer: whether an access of `bytes` at
// `offset` on fd hits a fault.
bool ReadHitsFault(int fd, std::uint64_t offset, std::uint64_t bytes);
bool WriteHitsFault(int fd, std::uint64_t offset, std::uint64_t bytes);

// Faults can also be named in the environment of a process, for tests that
// run kestrum-cli: KESTRUM_TEST_FAULTS="read:FIRST:COUNT:PATH;write:…" (they
// are added at the first access). KESTRUM_TEST_READ_LOG=FILE appends a line
// "OFFSET BYTES" to FILE for every read, so a test can see what was read.
void NoteRead(std::uint64_t offset, std::uint64_t bytes);
// Reads that failed on an injected fault since the process began: how
// often a test's reads hit its bad sectors.
std::uint64_t FaultedReads();
// From now on every read (offset and length in bytes, of any file) is kept
// until taken, so a test can check where a worker read.
void RecordReads(bool on);
std::vector<std::pair<std::uint64_t, std::uint64_t>> TakeRecordedReads();

// From now on every read that touches [first, first + count) of the file at
// `path` waits until OpenReadGate (or 60 s, so a failed test cannot hang).
void CloseReadGate(const std::string& path, std::uint64_t first, std::uint64_t count);
void OpenReadGate();
// How many reads have waited at the gate since it was closed.
std::uint64_t ReadsHeldAtGate();
// Used by the sector reader before each read.
void WaitAtReadGate(int fd, std::uint64_t offset, std::uint64_t bytes);

}  // namespace kestrum::testing

#endif
