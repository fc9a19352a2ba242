// The loaded NetCDF library's own settings, for the netcdf/ room.
#pragma once

#include <mutex>

// HDF5 keeps a stack of errors for each thread, printed by default when a
// call fails; this turns the printing off for the calling thread (once).
void QuietLibraryErrorsOnThisThread();

// Held by every entry into the library, whichever file it reads or writes:
// the library and HDF5 below it keep state that is not safe across threads.
std::recursive_mutex& LibraryLock();
