// Loading PLplot on first use.
#include "core/system_library.h"
#include "report/plplot_library.h"

namespace Valdrin {

namespace {

PlplotLibrary load() {
    const SystemLibrary loaded({"libplplot.so.17", "libplplot.so"}, "cannot draw plots", "PLplot");
    PlplotLibrary library{};
    loaded.bind("c_pladv", library.f_pladv);
    loaded.bind("c_plbox", library.f_plbox);
    loaded.bind("c_plcol0", library.f_plcol0);
    loaded.bind("c_plend", library.f_plend);
    loaded.bind("c_plfill", library.f_plfill);
    loaded.bind("c_plinit", library.f_plinit);
    loaded.bind("c_pllegend", library.f_pllegend);
    loaded.bind("c_plline", library.f_plline);
    loaded.bind("c_pllsty", library.f_pllsty);
    loaded.bind("c_plmtex", library.f_plmtex);
    loaded.bind("c_plptex", library.f_plptex);
    loaded.bind("c_plschr", library.f_plschr);
    loaded.bind("c_plscmap0n", library.f_plscmap0n);
    loaded.bind("c_plscol0a", library.f_plscol0a);
    loaded.bind("c_plsdev", library.f_plsdev);
    loaded.bind("c_plsfnam", library.f_plsfnam);
    loaded.bind("c_plspage", library.f_plspage);
    loaded.bind("c_plstring", library.f_plstring);
    loaded.bind("c_plvpor", library.f_plvpor);
    loaded.bind("c_plwidth", library.f_plwidth);
    loaded.bind("c_plwind", library.f_plwind);
    loaded.bind("plgDevs", library.f_plgDevs);
    return library;
}

}  // namespace

const PlplotLibrary& plplot() {
    static const PlplotLibrary library = load();
    return library;
}

}  // namespace Valdrin
