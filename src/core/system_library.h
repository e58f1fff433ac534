// A system library loaded on first use (dlopen) and its functions bound by name, so that a program
// that never needs it does not spend the start-up time of mapping and binding it.
#pragma once

#include <initializer_list>
#include <string>

namespace Valdrin {

class SystemLibrary {
public:
    // Opens the first of names that loads. purpose and library word the failures, which end the
    // program: "cannot draw plots: PLplot cannot be loaded (REASON); install it with make deps".
    SystemLibrary(std::initializer_list<const char*> names, std::string purpose, std::string library);

    // Binds function to the library's symbol; fails with "PURPOSE: LIBRARY has no SYMBOL" when it
    // has none.
    template <class Function>
    void bind(const char* symbol, Function& function) const {
        function = reinterpret_cast<Function>(find(symbol));
    }

private:
    void* find(const char* symbol) const;

    void* handle_ = nullptr;
    std::string purpose_;
    std::string library_;
};

}  // namespace Valdrin
