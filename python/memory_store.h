// A NetCDF store kept in memory: the same dimensions, variables and
// attributes a NetCDF output gets, walked from the writers' layouts, with
// each variable's values in one buffer that grows in place as the readings
// come. The Python module hands the buffers to NumPy as they are.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "netcdf/netcdf_file.h"

// A variable's values in pages of their own: grown by the kernel, which
// moves the pages rather than their contents, so a series of hundreds of
// megabytes is never copied as it grows. Large buffers ask for huge pages:
// with 4 KB pages every 4 KB of a new series costs a page fault, which took
// a quarter of a conversion's time.
class StoreBuffer {
 public:
  StoreBuffer() = default;
  ~StoreBuffer();
  StoreBuffer(StoreBuffer&& other) noexcept;
  StoreBuffer& operator=(StoreBuffer&& other) noexcept;
  StoreBuffer(const StoreBuffer&) = delete;
  StoreBuffer& operator=(const StoreBuffer&) = delete;

  void* get() const { return data_; }
  // Room for at least `bytes`, the contents kept; false when there is no
  // memory for it (the buffer is then as it was).
  bool Resize(size_t bytes);
  void reset();

 private:
  void* data_ = nullptr;
  size_t mapped_ = 0;
};

// One variable as the store ends with it: its description (with the
// attributes as last written) and its values, C order, of `shape`.
struct StoredVariable {
  NetcdfVariable description;
  std::vector<size_t> shape;  // one length per dimension; none for a scalar
  StoreBuffer values;
};

class MemoryStore final : public NetcdfStore {
 public:
  MemoryStore();
  ~MemoryStore() override;

  bool Define(const NetcdfLayout& layout) override;
  bool PutAttributes(NetcdfVariableId variable,
                     const std::vector<NetcdfAttribute>& attributes) override;
  NetcdfVariableId Variable(const std::string& name) const override;

  bool Put(NetcdfVariableId variable, size_t start, size_t count, const double* values) override;
  bool Put(NetcdfVariableId variable, size_t start, size_t count,
           const signed char* values) override;
  bool Put(NetcdfVariableId variable, size_t start, size_t count, const int* values) override;
  bool Put(NetcdfVariableId variable, size_t start, size_t count, const long long* values) override;
  bool PutRow(NetcdfVariableId variable, size_t row, size_t count, const double* values) override;
  bool PutScalar(NetcdfVariableId variable, double value) override;
  bool PutText(NetcdfVariableId variable, const std::string& text) override;
  bool Get(NetcdfVariableId variable, size_t start, size_t count, double* values) override;

  bool Close() override;
  void Drop() override;

  bool failed() const override;
  std::string error() const override;
  void Fail(const std::string& doing, const std::string& why) override;

  bool closed() const;
  // After Close: the dimensions at their final lengths and every variable
  // with its values, in the order defined. The store keeps none of them.
  std::vector<NetcdfDimension> Dimensions() const;
  // The names of the dimensions defined without a length.
  std::vector<std::string> UnlimitedDimensions() const;
  std::vector<StoredVariable> TakeVariables();
  std::vector<NetcdfAttribute> Globals() const;

  static size_t ValueBytes(NetcdfType type);

 private:
  struct Slot;

  Slot* Find(NetcdfVariableId variable);
  const NetcdfDimension* FindDimension(const std::string& name) const;
  template <typename Value>
  bool PutValues(NetcdfVariableId variable, size_t start, size_t count, const Value* values);
  bool Grow(Slot* slot, size_t rows);
  size_t LengthOf(const NetcdfDimension& dimension) const;
  size_t RowValues(const Slot& slot) const;
  bool Finalise(Slot* slot);

  mutable std::mutex mutex_;
  std::vector<NetcdfDimension> dimensions_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<NetcdfAttribute> globals_;
  std::string error_;
  bool failed_ = false;
  bool closed_ = false;
  bool dropped_ = false;
};
