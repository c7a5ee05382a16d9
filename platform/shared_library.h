// Functions of a shared library opened with dlopen when first needed rather
// than when the program starts (libcrypto, libewf).
#pragma once

#include <dlfcn.h>

// Sets `f` to the function `name` of the library `handle`; false when it
// has none.
template <typename F>
bool FindFunction(void* handle, const char* name, F& f) {
  f = reinterpret_cast<F>(dlsym(handle, name));
  return f != nullptr;
}
