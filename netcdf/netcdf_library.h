// The loaded NetCDF library's own settings, for the netcdf/ room.
#pragma once

// HDF5 keeps a stack of errors for each thread, printed by default when a
// call fails; this turns the printing off for the calling thread (once).
void QuietLibraryErrorsOnThisThread();
