// SPDX-License-Identifier: GPL-3.0-or-later
// The NetCDF library, loaded the first time a NetCDF function is called.
//
// libnetcdf brings about forty shared libraries with it (HDF5, curl, ICU,
// Kerberos...). Linked in, they are mapped and relocated at every start,
// which costs a plain CSV conversion more than its whole parsing of a small
// dump, and its memory. These definitions of the NetCDF entries the program
// calls take the place of the library at link time; each one opens the
// library once, on first use, and calls through to it.
#include <H5Epublic.h>
#include <dlfcn.h>
#include <netcdf.h>

#include <string>

#include "netcdf/netcdf_library.h"

namespace {

// What every entry returns when the library could not be opened; its
// message comes from nc_strerror below. Outside NetCDF's own codes.
constexpr int kLibraryMissing = -10000;

struct NetcdfLibrary {
  void* handle = nullptr;
  std::string failure;  // why it could not be opened
};

const NetcdfLibrary& Library() {
  static const NetcdfLibrary library = [] {
    NetcdfLibrary opened;
    opened.handle = ::dlopen(ZORQ_NETCDF_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (opened.handle == nullptr) {
      const char* why = ::dlerror();
      opened.failure = std::string("the NetCDF library could not be loaded (") +
                       (why != nullptr ? why : ZORQ_NETCDF_SONAME) +
                       "); install the package that provides " ZORQ_NETCDF_SONAME;
    } else if (auto noCloseAtExit =
                   reinterpret_cast<int (*)()>(::dlsym(opened.handle, "H5dont_atexit"))) {
      // HDF5 closes at exit the files still open, and crashed there on one
      // whose write had failed (a full disk): the library had left it open.
      // Every file is closed or dropped (and removed) by then.
      noCloseAtExit();
    }
    // NetCDF sets HDF5's printing of errors as it starts: it starts here,
    // before the writer turns that printing off.
    if (opened.handle != nullptr) {
      if (auto start =
              reinterpret_cast<decltype(&nc_initialize)>(::dlsym(opened.handle, "nc_initialize")))
        start();
    }
    return opened;
  }();
  return library;
}

template <typename Function>
Function Resolve(Function, const char* name) {
  const NetcdfLibrary& library = Library();
  if (library.handle == nullptr)
    return nullptr;
  return reinterpret_cast<Function>(::dlsym(library.handle, name));
}

}  // namespace

// HDF5 prints its own stack of every failure (a full disk gave some forty
// lines); the writer reports each failure once, in its words. The HDF5
// Debian builds keeps that setting for each thread.
void QuietLibraryErrorsOnThisThread() {
  thread_local bool quiet = false;
  if (quiet)
    return;
  quiet = true;
  // Only the type is taken from the header: the address would be a link
  // to HDF5, which is loaded, not linked.
  using SetAutoPrint = decltype(&H5Eset_auto2);
  static const auto setAutoPrint = Resolve(SetAutoPrint{}, "H5Eset_auto2");
  if (setAutoPrint != nullptr)
    setAutoPrint(H5E_DEFAULT, nullptr, nullptr);
}

// Declared by netcdf.h, so a signature that drifts from the library's fails
// to compile here.
#define ZORQ_FORWARD(name, parameters, arguments)              \
  extern "C" int name parameters {                             \
    static const auto real = Resolve(&name, #name);            \
    return real != nullptr ? real arguments : kLibraryMissing; \
  }

ZORQ_FORWARD(nc_create, (const char* path, int cmode, int* ncidp), (path, cmode, ncidp))
ZORQ_FORWARD(nc_close, (int ncid), (ncid))
ZORQ_FORWARD(nc_abort, (int ncid), (ncid))
ZORQ_FORWARD(nc_enddef, (int ncid), (ncid))
ZORQ_FORWARD(nc_redef, (int ncid), (ncid))
ZORQ_FORWARD(nc_sync, (int ncid), (ncid))
ZORQ_FORWARD(nc_set_fill, (int ncid, int fillmode, int* old_modep), (ncid, fillmode, old_modep))
ZORQ_FORWARD(nc_def_dim, (int ncid, const char* name, size_t len, int* idp), (ncid, name, len, idp))
ZORQ_FORWARD(nc_def_var,
             (int ncid, const char* name, nc_type xtype, int ndims, const int* dimidsp,
              int* varidp),
             (ncid, name, xtype, ndims, dimidsp, varidp))
ZORQ_FORWARD(nc_def_var_chunking, (int ncid, int varid, int storage, const size_t* chunksizesp),
             (ncid, varid, storage, chunksizesp))
ZORQ_FORWARD(nc_def_var_deflate, (int ncid, int varid, int shuffle, int deflate, int deflate_level),
             (ncid, varid, shuffle, deflate, deflate_level))
ZORQ_FORWARD(nc_def_var_fill, (int ncid, int varid, int no_fill, const void* fill_value),
             (ncid, varid, no_fill, fill_value))
ZORQ_FORWARD(nc_def_var_fletcher32, (int ncid, int varid, int fletcher32),
             (ncid, varid, fletcher32))
ZORQ_FORWARD(nc_set_var_chunk_cache,
             (int ncid, int varid, size_t size, size_t nelems, float preemption),
             (ncid, varid, size, nelems, preemption))
ZORQ_FORWARD(nc_set_chunk_cache, (size_t size, size_t nelems, float preemption),
             (size, nelems, preemption))
ZORQ_FORWARD(nc_put_att_text, (int ncid, int varid, const char* name, size_t len, const char* op),
             (ncid, varid, name, len, op))
ZORQ_FORWARD(nc_put_att_string,
             (int ncid, int varid, const char* name, size_t len, const char** op),
             (ncid, varid, name, len, op))
ZORQ_FORWARD(nc_put_att_schar,
             (int ncid, int varid, const char* name, nc_type xtype, size_t len,
              const signed char* op),
             (ncid, varid, name, xtype, len, op))
ZORQ_FORWARD(nc_put_att_uchar,
             (int ncid, int varid, const char* name, nc_type xtype, size_t len,
              const unsigned char* op),
             (ncid, varid, name, xtype, len, op))
ZORQ_FORWARD(nc_put_att_short,
             (int ncid, int varid, const char* name, nc_type xtype, size_t len, const short* op),
             (ncid, varid, name, xtype, len, op))
ZORQ_FORWARD(nc_put_att_int,
             (int ncid, int varid, const char* name, nc_type xtype, size_t len, const int* op),
             (ncid, varid, name, xtype, len, op))
ZORQ_FORWARD(nc_put_att_longlong,
             (int ncid, int varid, const char* name, nc_type xtype, size_t len,
              const long long* op),
             (ncid, varid, name, xtype, len, op))
ZORQ_FORWARD(nc_put_att_ulonglong,
             (int ncid, int varid, const char* name, nc_type xtype, size_t len,
              const unsigned long long* op),
             (ncid, varid, name, xtype, len, op))
ZORQ_FORWARD(nc_put_att_float,
             (int ncid, int varid, const char* name, nc_type xtype, size_t len, const float* op),
             (ncid, varid, name, xtype, len, op))
ZORQ_FORWARD(nc_put_att_double,
             (int ncid, int varid, const char* name, nc_type xtype, size_t len, const double* op),
             (ncid, varid, name, xtype, len, op))
ZORQ_FORWARD(nc_put_var_double, (int ncid, int varid, const double* op), (ncid, varid, op))
ZORQ_FORWARD(nc_put_var_float, (int ncid, int varid, const float* op), (ncid, varid, op))
ZORQ_FORWARD(nc_put_var_int, (int ncid, int varid, const int* op), (ncid, varid, op))
ZORQ_FORWARD(nc_put_var_schar, (int ncid, int varid, const signed char* op), (ncid, varid, op))
ZORQ_FORWARD(nc_put_var_longlong, (int ncid, int varid, const long long* op), (ncid, varid, op))
ZORQ_FORWARD(nc_put_vara_double,
             (int ncid, int varid, const size_t* startp, const size_t* countp, const double* op),
             (ncid, varid, startp, countp, op))
ZORQ_FORWARD(nc_put_vara_float,
             (int ncid, int varid, const size_t* startp, const size_t* countp, const float* op),
             (ncid, varid, startp, countp, op))
ZORQ_FORWARD(nc_put_vara_int,
             (int ncid, int varid, const size_t* startp, const size_t* countp, const int* op),
             (ncid, varid, startp, countp, op))
ZORQ_FORWARD(nc_put_vara_schar,
             (int ncid, int varid, const size_t* startp, const size_t* countp,
              const signed char* op),
             (ncid, varid, startp, countp, op))
ZORQ_FORWARD(nc_put_vara_uchar,
             (int ncid, int varid, const size_t* startp, const size_t* countp,
              const unsigned char* op),
             (ncid, varid, startp, countp, op))
ZORQ_FORWARD(nc_put_vara_short,
             (int ncid, int varid, const size_t* startp, const size_t* countp, const short* op),
             (ncid, varid, startp, countp, op))
ZORQ_FORWARD(nc_put_vara_longlong,
             (int ncid, int varid, const size_t* startp, const size_t* countp, const long long* op),
             (ncid, varid, startp, countp, op))
ZORQ_FORWARD(nc_put_vara_text,
             (int ncid, int varid, const size_t* startp, const size_t* countp, const char* op),
             (ncid, varid, startp, countp, op))
ZORQ_FORWARD(nc_get_vara_double,
             (int ncid, int varid, const size_t* startp, const size_t* countp, double* ip),
             (ncid, varid, startp, countp, ip))
ZORQ_FORWARD(nc_inq_varid, (int ncid, const char* name, int* varidp), (ncid, name, varidp))
ZORQ_FORWARD(nc_inq_dimid, (int ncid, const char* name, int* idp), (ncid, name, idp))
// Reading an input file (an air pressure record).
ZORQ_FORWARD(nc_open, (const char* path, int mode, int* ncidp), (path, mode, ncidp))
ZORQ_FORWARD(nc_inq_nvars, (int ncid, int* nvarsp), (ncid, nvarsp))
ZORQ_FORWARD(nc_inq_var,
             (int ncid, int varid, char* name, nc_type* xtypep, int* ndimsp, int* dimidsp,
              int* nattsp),
             (ncid, varid, name, xtypep, ndimsp, dimidsp, nattsp))
ZORQ_FORWARD(nc_inq_dimname, (int ncid, int dimid, char* name), (ncid, dimid, name))
ZORQ_FORWARD(nc_inq_dimlen, (int ncid, int dimid, size_t* lenp), (ncid, dimid, lenp))
ZORQ_FORWARD(nc_inq_attname, (int ncid, int varid, int attnum, char* name),
             (ncid, varid, attnum, name))
ZORQ_FORWARD(nc_inq_att, (int ncid, int varid, const char* name, nc_type* xtypep, size_t* lenp),
             (ncid, varid, name, xtypep, lenp))
ZORQ_FORWARD(nc_get_att_text, (int ncid, int varid, const char* name, char* ip),
             (ncid, varid, name, ip))
ZORQ_FORWARD(nc_get_att_string, (int ncid, int varid, const char* name, char** ip),
             (ncid, varid, name, ip))
ZORQ_FORWARD(nc_get_att_double, (int ncid, int varid, const char* name, double* ip),
             (ncid, varid, name, ip))
ZORQ_FORWARD(nc_free_string, (size_t len, char** data), (len, data))
ZORQ_FORWARD(nc_get_var_double, (int ncid, int varid, double* ip), (ncid, varid, ip))

extern "C" const char* nc_strerror(int code) {
  if (code == kLibraryMissing)
    return Library().failure.c_str();
  static const auto real = Resolve(&nc_strerror, "nc_strerror");
  return real != nullptr ? real(code) : Library().failure.c_str();
}
