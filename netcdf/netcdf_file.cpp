#include "netcdf/netcdf_file.h"

#include <netcdf.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "netcdf/netcdf_library.h"

static_assert(kNetcdfLongestName == NC_MAX_NAME);

namespace {

// HDF5's default share of a chunk cache given to chunks already read whole.
constexpr float kCachePreemption = 0.75f;

nc_type TypeOf(NetcdfType type) {
  switch (type) {
    case NetcdfType::kByte:
      return NC_BYTE;
    case NetcdfType::kInt:
      return NC_INT;
    case NetcdfType::kInt64:
      return NC_INT64;
    case NetcdfType::kChar:
      return NC_CHAR;
    case NetcdfType::kDouble:
      break;
  }
  return NC_DOUBLE;
}

// Why a call failed: the system's words when a system call failed under
// the library (a full disk must not read as the library's "HDF error").
std::string Reason(int status, int systemError) {
  if (systemError != 0)
    return std::strerror(systemError);
  return nc_strerror(status);
}

// Held by every entry into the library.
class LibraryEntry {
 public:
  LibraryEntry() : hold_(LibraryLock()) { QuietLibraryErrorsOnThisThread(); }

 private:
  std::lock_guard<std::recursive_mutex> hold_;
};

}  // namespace

// The NetCDF library, and the HDF5 library below it as Debian builds it, keep
// state of their own that is not safe across threads; the command line's
// --jobs and the desktop's export write files in threads, so every entry
// that reaches the library holds this one lock.
std::recursive_mutex& LibraryLock() {
  static std::recursive_mutex lock;
  return lock;
}

double NetcdfLibraryFill(NetcdfType type) {
  switch (type) {
    case NetcdfType::kByte:
      return NC_FILL_BYTE;
    case NetcdfType::kInt:
      return NC_FILL_INT;
    case NetcdfType::kInt64:
      return static_cast<double>(NC_FILL_INT64);
    case NetcdfType::kChar:
      return NC_FILL_CHAR;
    case NetcdfType::kDouble:
      break;
  }
  return NC_FILL_DOUBLE;
}

// A file never created does not load the library: a writer into another
// store leaves its own file unused.
NetcdfFile::~NetcdfFile() {
  if (ncid_ >= 0)
    Drop();
}

bool NetcdfFile::isOpen() const {
  const std::lock_guard<std::recursive_mutex> hold(LibraryLock());
  return ncid_ >= 0;
}

std::string NetcdfFile::error() const {
  const std::lock_guard<std::mutex> hold(errorMutex_);
  return error_;
}

void NetcdfFile::Fail(const std::string& doing, const std::string& why) {
  const std::lock_guard<std::mutex> hold(errorMutex_);
  if (error_.empty())
    error_ = "cannot " + doing + " the NetCDF output \"" + shownName_ + "\": " + why;
  failed_.store(true, std::memory_order_release);
}

// Called right after the library call, with errno as the call left it
// (cleared before it).
bool NetcdfFile::Check(int status, const char* doing) {
  const int systemError = errno;
  if (status == NC_NOERR)
    return true;
  Fail(doing, Reason(status, systemError));
  return false;
}

// Define mode for new dimensions, variables and attributes; data mode for
// values. Both only on a file that has not failed.
bool NetcdfFile::Enter(bool defining) {
  if (!Usable())
    return false;
  if (defining == defining_)
    return true;
  errno = 0;
  // Leaving define mode writes the file's description out.
  const int status = defining ? nc_redef(ncid_) : nc_enddef(ncid_);
  if (!Check(status, defining ? "define" : "write"))
    return false;
  defining_ = defining;
  return true;
}

bool NetcdfFile::Create(const std::string& path, const std::string& shownName,
                        const NetcdfLayout& layout) {
  const LibraryEntry entry;
  path_ = path;
  shownName_ = shownName;
  int ncid = -1;
  errno = 0;
  // A failed create leaves no file of the library's to close.
  if (!Check(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid), "create"))
    return false;
  ncid_ = ncid;
  defining_ = true;
  return DefineAll(layout) && Enter(false);
}

bool NetcdfFile::Define(const NetcdfLayout& layout) {
  const LibraryEntry entry;
  return Enter(true) && DefineAll(layout) && Enter(false);
}

bool NetcdfFile::DefineAll(const NetcdfLayout& layout) {
  for (const NetcdfDimension& dimension : layout.dimensions()) {
    int id = -1;
    errno = 0;
    if (!Check(nc_def_dim(ncid_, dimension.name.c_str(), dimension.length, &id), "define"))
      return false;
  }
  for (const NetcdfVariable& variable : layout.variables()) {
    if (!DefineVariable(variable))
      return false;
  }
  for (const NetcdfAttribute& attribute : layout.globals()) {
    if (!PutAttribute(NC_GLOBAL, attribute))
      return false;
  }
  return true;
}

bool NetcdfFile::DefineVariable(const NetcdfVariable& variable) {
  std::vector<int> dimensions;
  for (const std::string& name : variable.dimensions) {
    int id = -1;
    errno = 0;
    if (!Check(nc_inq_dimid(ncid_, name.c_str(), &id), "define"))
      return false;
    dimensions.push_back(id);
  }
  int id = -1;
  errno = 0;
  if (!Check(nc_def_var(ncid_, variable.name.c_str(), TypeOf(variable.type),
                        static_cast<int>(dimensions.size()), dimensions.data(), &id),
             "define"))
    return false;
  int status = NC_NOERR;
  if (!variable.chunks.empty())
    status = nc_def_var_chunking(ncid_, id, NC_CHUNKED, variable.chunks.data());
  if (status == NC_NOERR && variable.deflate)
    status = nc_def_var_deflate(ncid_, id, NC_SHUFFLE, 1, kDeflateLevel);
  if (status == NC_NOERR && variable.fill == NetcdfFill::kNone)
    status = nc_def_var_fill(ncid_, id, NC_NOFILL, nullptr);
  if (status == NC_NOERR && variable.fill == NetcdfFill::kValue)
    status = nc_def_var_fill(ncid_, id, NC_FILL, &variable.fillValue);
  if (status == NC_NOERR && variable.cacheBytes != 0)
    status = nc_set_var_chunk_cache(ncid_, id, variable.cacheBytes, variable.cacheSlots,
                                    kCachePreemption);
  if (!Check(status, "define"))
    return false;
  for (const NetcdfAttribute& attribute : variable.attributes) {
    if (!PutAttribute(id, attribute))
      return false;
  }
  return true;
}

bool NetcdfFile::PutAttribute(int variable, const NetcdfAttribute& attribute) {
  const char* name = attribute.name.c_str();
  int status = NC_NOERR;
  errno = 0;
  if (const auto* text = std::get_if<std::string>(&attribute.value)) {
    status = nc_put_att_text(ncid_, variable, name, text->size(), text->c_str());
  } else if (const auto* number = std::get_if<double>(&attribute.value)) {
    status = nc_put_att_double(ncid_, variable, name, NC_DOUBLE, 1, number);
  } else if (const auto* whole = std::get_if<int>(&attribute.value)) {
    status = nc_put_att_int(ncid_, variable, name, NC_INT, 1, whole);
  } else if (const auto* wide = std::get_if<long long>(&attribute.value)) {
    status = nc_put_att_longlong(ncid_, variable, name, NC_INT64, 1, wide);
  } else if (const auto* large = std::get_if<unsigned long long>(&attribute.value)) {
    status = nc_put_att_ulonglong(ncid_, variable, name, NC_UINT64, 1, large);
  } else if (const auto* numbers = std::get_if<std::vector<double>>(&attribute.value)) {
    status = nc_put_att_double(ncid_, variable, name, NC_DOUBLE, numbers->size(), numbers->data());
  } else {
    const auto& bytes = std::get<std::vector<signed char>>(attribute.value);
    status = nc_put_att_schar(ncid_, variable, name, NC_BYTE, bytes.size(), bytes.data());
  }
  return Check(status, ("write the attribute " + attribute.name + " of").c_str());
}

bool NetcdfFile::PutAttributes(NetcdfVariableId variable,
                               const std::vector<NetcdfAttribute>& attributes) {
  const LibraryEntry entry;
  if (!Enter(true))
    return false;
  for (const NetcdfAttribute& attribute : attributes) {
    if (!PutAttribute(variable.valid() ? variable.id : NC_GLOBAL, attribute))
      return false;
  }
  return Enter(false);
}

NetcdfVariableId NetcdfFile::Variable(const std::string& name) const {
  const LibraryEntry entry;
  NetcdfVariableId variable;
  if (ncid_ >= 0 && nc_inq_varid(ncid_, name.c_str(), &variable.id) != NC_NOERR)
    variable.id = -1;
  return variable;
}

bool NetcdfFile::Put(NetcdfVariableId variable, size_t start, size_t count, const double* values) {
  const LibraryEntry entry;
  return Enter(false) && Call("write", [&] {
           return nc_put_vara_double(ncid_, variable.id, &start, &count, values);
         });
}

bool NetcdfFile::Put(NetcdfVariableId variable, size_t start, size_t count,
                     const signed char* values) {
  const LibraryEntry entry;
  return Enter(false) && Call("write", [&] {
           return nc_put_vara_schar(ncid_, variable.id, &start, &count, values);
         });
}

bool NetcdfFile::Put(NetcdfVariableId variable, size_t start, size_t count, const int* values) {
  const LibraryEntry entry;
  return Enter(false) &&
         Call("write", [&] { return nc_put_vara_int(ncid_, variable.id, &start, &count, values); });
}

bool NetcdfFile::Put(NetcdfVariableId variable, size_t start, size_t count,
                     const long long* values) {
  const LibraryEntry entry;
  return Enter(false) && Call("write", [&] {
           return nc_put_vara_longlong(ncid_, variable.id, &start, &count, values);
         });
}

bool NetcdfFile::PutRow(NetcdfVariableId variable, size_t row, size_t count, const double* values) {
  const LibraryEntry entry;
  const size_t start[] = {row, 0};
  const size_t counts[] = {1, count};
  return Enter(false) && Call("write", [&] {
           return nc_put_vara_double(ncid_, variable.id, start, counts, values);
         });
}

bool NetcdfFile::PutScalar(NetcdfVariableId variable, double value) {
  const LibraryEntry entry;
  return Enter(false) &&
         Call("write", [&] { return nc_put_var_double(ncid_, variable.id, &value); });
}

bool NetcdfFile::PutText(NetcdfVariableId variable, const std::string& text) {
  const LibraryEntry entry;
  const size_t start = 0;
  const size_t count = text.size();
  return Enter(false) && Call("write", [&] {
           return nc_put_vara_text(ncid_, variable.id, &start, &count, text.data());
         });
}

bool NetcdfFile::Get(NetcdfVariableId variable, size_t start, size_t count, double* values) {
  const LibraryEntry entry;
  return Enter(false) && Call("read back", [&] {
           return nc_get_vara_double(ncid_, variable.id, &start, &count, values);
         });
}

// When the library's close fails to write, HDF5 frees the file and netCDF
// then lists its open objects through the freed file, which crashed. The
// file is written out first, where a failure leaves it whole: only a file
// that took every write is closed.
bool NetcdfFile::Close() {
  const LibraryEntry entry;
  if (ncid_ < 0) {
    if (!failed())
      Fail("close", "it is not open");
    return false;
  }
  errno = 0;
  if (!Enter(false) || !Check(nc_sync(ncid_), "write")) {
    LeaveFailedFile();
    return false;
  }
  errno = 0;
  const int status = nc_close(ncid_);
  ncid_ = -1;
  return Check(status, "close");
}

void NetcdfFile::Drop() {
  const LibraryEntry entry;
  if (ncid_ < 0)
    return;
  errno = 0;
  if (!Enter(false) || !Check(nc_sync(ncid_), "write")) {
    LeaveFailedFile();
    return;
  }
  nc_abort(ncid_);
  ncid_ = -1;
}

// Emptied, the file gives the disk its room back though the library keeps
// its descriptor; HDF5 does not close it at exit either (the loader told
// it so).
void NetcdfFile::LeaveFailedFile() {
  if (::truncate(path_.c_str(), 0) != 0) {
    // Nothing more to do: the caller removes the file by its name.
  }
  ncid_ = -1;
}
