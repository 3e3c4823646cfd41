// The program's registry values, under the key HKEY_LOCAL_MACHINE, path
// Software\Quillon\<product>\<major>.<minor>\<subkey>.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::fwupdate::win32 {

// "Software\Quillon\KESTREL Rescue Update\2.2\<subkey>".
std::string registryKeyPath(const char* subkey);

// Stores `data`: a length of 0 stores it as a string (REG_SZ, with its
// terminating zero), any other length as binary data of that length.
// Returns 1 when stored, 0 otherwise.
int writeRegistry(const char* subkey, const char* valueName, const void* data, uint32_t length);

// Reads the value into `buffer`. Returns 1 when the value exists and holds
// exactly `length` bytes (a shorter value would leave part of the buffer
// as it was), 0 otherwise.
int readRegistry(const char* subkey, const char* valueName, void* buffer, uint32_t length);

}  // namespace kestrel::fwupdate::win32
