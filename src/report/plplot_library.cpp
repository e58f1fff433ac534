// Loading PLplot on first use.
#include <dlfcn.h>

#include <string>

#include "core/failure.h"
#include "report/plplot_library.h"

namespace Valdrin {

namespace {

template <class Function>
void resolve(void* handle, const char* symbol, Function& function) {
    function = reinterpret_cast<Function>(dlsym(handle, symbol));
    if (function == nullptr) failPlainly(std::string("cannot draw plots: PLplot has no ") + symbol);
}

PlplotLibrary load() {
    void* handle = nullptr;
    for (const char* name : {"libplplot.so.17", "libplplot.so"}) {
        if ((handle = dlopen(name, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
    }
    if (handle == nullptr) {
        const char* reason = dlerror();
        failPlainly(std::string("cannot draw plots: PLplot cannot be loaded (") + (reason != nullptr ? reason : "") +
                    "); install it with make deps");
    }
    PlplotLibrary library{};
    resolve(handle, "c_pladv", library.f_pladv);
    resolve(handle, "c_plbox", library.f_plbox);
    resolve(handle, "c_plcol0", library.f_plcol0);
    resolve(handle, "c_plend", library.f_plend);
    resolve(handle, "c_plfill", library.f_plfill);
    resolve(handle, "c_plinit", library.f_plinit);
    resolve(handle, "c_pllegend", library.f_pllegend);
    resolve(handle, "c_plline", library.f_plline);
    resolve(handle, "c_pllsty", library.f_pllsty);
    resolve(handle, "c_plmtex", library.f_plmtex);
    resolve(handle, "c_plptex", library.f_plptex);
    resolve(handle, "c_plschr", library.f_plschr);
    resolve(handle, "c_plscmap0n", library.f_plscmap0n);
    resolve(handle, "c_plscol0a", library.f_plscol0a);
    resolve(handle, "c_plsdev", library.f_plsdev);
    resolve(handle, "c_plsfnam", library.f_plsfnam);
    resolve(handle, "c_plspage", library.f_plspage);
    resolve(handle, "c_plstring", library.f_plstring);
    resolve(handle, "c_plvpor", library.f_plvpor);
    resolve(handle, "c_plwidth", library.f_plwidth);
    resolve(handle, "c_plwind", library.f_plwind);
    resolve(handle, "plgDevs", library.f_plgDevs);
    return library;
}

}  // namespace

const PlplotLibrary& plplot() {
    static const PlplotLibrary library = load();
    return library;
}

}  // namespace Valdrin
