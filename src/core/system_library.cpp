// Loading a system library on first use.
#include "core/system_library.h"

#include <dlfcn.h>

#include <utility>

#include "core/failure.h"

namespace Valdrin {

SystemLibrary::SystemLibrary(std::initializer_list<const char*> names, std::string purpose, std::string library)
    : purpose_(std::move(purpose)), library_(std::move(library)) {
    for (const char* name : names) {
        if ((handle_ = dlopen(name, RTLD_NOW | RTLD_LOCAL)) != nullptr) return;
    }
    const char* reason = dlerror();
    failPlainly(purpose_ + ": " + library_ + " cannot be loaded (" + (reason != nullptr ? reason : "") +
                "); install it with make deps");
}

void* SystemLibrary::find(const char* symbol) const {
    void* found = dlsym(handle_, symbol);
    if (found == nullptr) failPlainly(purpose_ + ": " + library_ + " has no " + symbol);
    return found;
}

}  // namespace Valdrin
