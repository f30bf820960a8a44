// Read before anything else by every C++ file that links boost (the build passes it with -include).
// Boost.Serialization and Boost.Archive mark some of their functions __declspec(dllexport) on Windows:
// BOOST_DLLEXPORT, so that an optimiser keeps the singletons it registers, and BOOST_SYMBOL_EXPORT, for a
// boost DLL. Linked into Quelvar.dll, each such function would become one more export of the module beside
// its entry points. Boost is linked statically, and the singletons are reached from the code that uses them,
// so neither mark has anything to do here.
#pragma once

#include <boost/config.hpp>
#include <boost/serialization/force_include.hpp>

#undef BOOST_DLLEXPORT
#define BOOST_DLLEXPORT
#undef BOOST_SYMBOL_EXPORT
#define BOOST_SYMBOL_EXPORT
