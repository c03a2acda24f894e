// Asks the processor to bring memory into its cache ahead of its use. The
// passes over hundreds of thousands of liveries in scan order meet their
// records scattered over the lists they were made in; fetching a few records
// ahead lets those waits overlap instead of coming one after the other. A
// hint only: where the compiler offers none it does nothing.
#pragma once

#include <cstddef>

inline void gf_prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

// Every cache line of an object of this many bytes.
inline void gf_prefetchObject(const void* object, std::size_t size) {
  const char* bytes = static_cast<const char*>(object);
  for (std::size_t at = 0; at < size; at += 64) gf_prefetch(bytes + at);
  gf_prefetch(bytes + size - 1);
}

// How far ahead the passes fetch.
inline constexpr std::size_t kPrefetchAhead = 16;
