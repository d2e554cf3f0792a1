#pragma once
// Test builds only: make chosen sectors of a file fail to read (or to be
// written) with EIO, the way a failing disk does, without needing
// device-mapper on the machine.

#ifdef KESTRUM_FAULT_INJECTION

#include <cstdint>
#include <string>

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

}  // namespace kestrum::testing

#endif
