// PLplot, loaded when the first plot is drawn rather than when the program starts: an experiment
// that draws no plot does not pay for mapping the library and its dozen dependencies. After
// including this header, the pl... names used by the plots call through the loaded library.
#pragma once

#include <plplot.h>

namespace Valdrin {

struct PlplotLibrary {
    decltype(&c_pladv) f_pladv;
    decltype(&c_plbox) f_plbox;
    decltype(&c_plcol0) f_plcol0;
    decltype(&c_plend) f_plend;
    decltype(&c_plfill) f_plfill;
    decltype(&c_plinit) f_plinit;
    decltype(&c_pllegend) f_pllegend;
    decltype(&c_plline) f_plline;
    decltype(&c_pllsty) f_pllsty;
    decltype(&c_plmtex) f_plmtex;
    decltype(&c_plptex) f_plptex;
    decltype(&c_plschr) f_plschr;
    decltype(&c_plscmap0n) f_plscmap0n;
    decltype(&c_plscol0a) f_plscol0a;
    decltype(&c_plsdev) f_plsdev;
    decltype(&c_plsfnam) f_plsfnam;
    decltype(&c_plspage) f_plspage;
    decltype(&c_plstring) f_plstring;
    decltype(&c_plvpor) f_plvpor;
    decltype(&c_plwidth) f_plwidth;
    decltype(&c_plwind) f_plwind;
    decltype(&plgDevs) f_plgDevs;
};

// The loaded library; ends the experiment with a plain account when it cannot be loaded.
const PlplotLibrary& plplot();

}  // namespace Valdrin

// The names the plotting code uses, through the loaded library.
#undef pladv
#undef plbox
#undef plcol0
#undef plend
#undef plfill
#undef plinit
#undef pllegend
#undef plline
#undef pllsty
#undef plmtex
#undef plptex
#undef plschr
#undef plscmap0n
#undef plscol0a
#undef plsdev
#undef plsfnam
#undef plspage
#undef plstring
#undef plvpor
#undef plwidth
#undef plwind
#define pladv (::Valdrin::plplot().f_pladv)
#define plbox (::Valdrin::plplot().f_plbox)
#define plcol0 (::Valdrin::plplot().f_plcol0)
#define plend (::Valdrin::plplot().f_plend)
#define plfill (::Valdrin::plplot().f_plfill)
#define plinit (::Valdrin::plplot().f_plinit)
#define pllegend (::Valdrin::plplot().f_pllegend)
#define plline (::Valdrin::plplot().f_plline)
#define pllsty (::Valdrin::plplot().f_pllsty)
#define plmtex (::Valdrin::plplot().f_plmtex)
#define plptex (::Valdrin::plplot().f_plptex)
#define plschr (::Valdrin::plplot().f_plschr)
#define plscmap0n (::Valdrin::plplot().f_plscmap0n)
#define plscol0a (::Valdrin::plplot().f_plscol0a)
#define plsdev (::Valdrin::plplot().f_plsdev)
#define plsfnam (::Valdrin::plplot().f_plsfnam)
#define plspage (::Valdrin::plplot().f_plspage)
#define plstring (::Valdrin::plplot().f_plstring)
#define plvpor (::Valdrin::plplot().f_plvpor)
#define plwidth (::Valdrin::plplot().f_plwidth)
#define plwind (::Valdrin::plplot().f_plwind)
#define plgDevs (::Valdrin::plplot().f_plgDevs)
