// A shared library opened at run time and closed with the object, and the functions
// found in it: for a library the launcher can do without (SDL 2, for game controllers),
// so that the launcher still starts where it is not installed.
#pragma once

#include <dlfcn.h>

namespace platform {

class DynamicLibrary {
  public:
    explicit DynamicLibrary(const char *name, int flags = RTLD_LAZY | RTLD_LOCAL)
        : handle_(dlopen(name, flags))
    {
    }
    ~DynamicLibrary()
    {
        if (handle_)
            dlclose(handle_);
    }
    DynamicLibrary(const DynamicLibrary &) = delete;
    DynamicLibrary &operator=(const DynamicLibrary &) = delete;

    // Sets `function` to the library's function `name`; false when it has none (or the
    // library did not open).
    template <class F> bool find(const char *name, F &function) const
    {
        function = handle_ ? reinterpret_cast<F>(dlsym(handle_, name)) : nullptr;
        return function != nullptr;
    }

  private:
    void *handle_;
};

} // namespace platform
