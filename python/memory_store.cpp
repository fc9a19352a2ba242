#include "python/memory_store.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// The first buffer of a variable on an unlimited dimension, in values; it
// doubles from there.
constexpr size_t kFirstValues = 1024;
// From this size on a buffer is advised to take huge pages.
constexpr size_t kHugePagesFrom = size_t{4} << 20;

size_t WholePages(size_t bytes) {
  const auto page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}

void* MapOrMove(void* data, size_t mapped, size_t bytes) {
  void* pages = data == nullptr ? ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                                : ::mremap(data, mapped, bytes, MREMAP_MAYMOVE);
  if (pages == MAP_FAILED)
    return nullptr;
  // Advice only: without transparent huge pages the buffer stays as it is.
  if (bytes >= kHugePagesFrom)
    static_cast<void>(::madvise(pages, bytes, MADV_HUGEPAGE));
  return pages;
}

template <typename To, typename From>
void CopyAs(void* base, size_t at, const From* values, size_t count) {
  To* to = static_cast<To*>(base) + at;
  for (size_t i = 0; i < count; ++i)
    to[i] = static_cast<To>(values[i]);
}

template <typename From>
void CopyInto(NetcdfType type, void* base, size_t at, const From* values, size_t count) {
  switch (type) {
    case NetcdfType::kByte:
    case NetcdfType::kChar:
      return CopyAs<signed char>(base, at, values, count);
    case NetcdfType::kInt:
      return CopyAs<int>(base, at, values, count);
    case NetcdfType::kInt64:
      return CopyAs<long long>(base, at, values, count);
    case NetcdfType::kDouble:
      return CopyAs<double>(base, at, values, count);
  }
}

template <typename From>
void CopyOut(const void* base, size_t at, size_t count, double* values) {
  const From* from = static_cast<const From*>(base) + at;
  for (size_t i = 0; i < count; ++i)
    values[i] = static_cast<double>(from[i]);
}

template <typename To>
void FillAs(void* base, size_t from, size_t to, double fill) {
  std::fill(static_cast<To*>(base) + from, static_cast<To*>(base) + to, static_cast<To>(fill));
}

void FillRange(NetcdfType type, void* base, size_t from, size_t to, double fill) {
  switch (type) {
    case NetcdfType::kByte:
    case NetcdfType::kChar:
      return FillAs<signed char>(base, from, to, fill);
    case NetcdfType::kInt:
      return FillAs<int>(base, from, to, fill);
    case NetcdfType::kInt64:
      return FillAs<long long>(base, from, to, fill);
    case NetcdfType::kDouble:
      return FillAs<double>(base, from, to, fill);
  }
}

double FillOf(const NetcdfVariable& variable) {
  return variable.fill == NetcdfFill::kValue ? variable.fillValue
                                             : NetcdfLibraryFill(variable.type);
}

void SetAttribute(std::vector<NetcdfAttribute>* list, const NetcdfAttribute& attribute) {
  for (NetcdfAttribute& old : *list) {
    if (old.name == attribute.name) {
      old.value = attribute.value;
      return;
    }
  }
  list->push_back(attribute);
}

}  // namespace

StoreBuffer::~StoreBuffer() {
  reset();
}

StoreBuffer::StoreBuffer(StoreBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), mapped_(std::exchange(other.mapped_, 0)) {}

StoreBuffer& StoreBuffer::operator=(StoreBuffer&& other) noexcept {
  if (this != &other) {
    reset();
    data_ = std::exchange(other.data_, nullptr);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

bool StoreBuffer::Resize(size_t bytes) {
  const size_t wanted = WholePages(std::max<size_t>(bytes, 1));
  if (wanted <= mapped_)
    return true;
  void* pages = MapOrMove(data_, mapped_, wanted);
  if (pages == nullptr)
    return false;
  data_ = pages;
  mapped_ = wanted;
  return true;
}

void StoreBuffer::reset() {
  if (data_ != nullptr)
    ::munmap(data_, mapped_);
  data_ = nullptr;
  mapped_ = 0;
}

// A variable being written. One dimension or none: `values` holds `rows`
// values in room for `capacity`. Two: the rows as written, packed at the end.
struct MemoryStore::Slot {
  NetcdfVariable description;
  double fill = 0.0;
  StoreBuffer values;
  size_t capacity = 0;
  size_t rows = 0;
  std::vector<std::vector<double>> rowValues;
  size_t longestRow = 0;
  bool taken = false;

  bool table() const { return description.dimensions.size() >= 2; }
};

MemoryStore::MemoryStore() = default;
MemoryStore::~MemoryStore() = default;

size_t MemoryStore::ValueBytes(NetcdfType type) {
  switch (type) {
    case NetcdfType::kByte:
    case NetcdfType::kChar:
      return sizeof(signed char);
    case NetcdfType::kInt:
      return sizeof(int);
    case NetcdfType::kInt64:
      return sizeof(long long);
    case NetcdfType::kDouble:
      break;
  }
  return sizeof(double);
}

bool MemoryStore::failed() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return failed_;
}

std::string MemoryStore::error() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return error_;
}

bool MemoryStore::closed() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return closed_;
}

void MemoryStore::Fail(const std::string& doing, const std::string& why) {
  const std::lock_guard<std::mutex> hold(mutex_);
  if (error_.empty())
    error_ = "cannot " + doing + " the NetCDF output in memory: " + why;
  failed_ = true;
}

const NetcdfDimension* MemoryStore::FindDimension(const std::string& name) const {
  for (const NetcdfDimension& dimension : dimensions_) {
    if (dimension.name == name)
      return &dimension;
  }
  return nullptr;
}

bool MemoryStore::Define(const NetcdfLayout& layout) {
  std::unique_lock<std::mutex> hold(mutex_);
  if (failed_ || closed_)
    return false;
  for (const NetcdfDimension& dimension : layout.dimensions())
    dimensions_.push_back(dimension);
  for (const NetcdfVariable& variable : layout.variables()) {
    for (const std::string& name : variable.dimensions) {
      if (FindDimension(name) == nullptr) {
        hold.unlock();
        Fail("define", "the variable " + variable.name + " has no dimension " + name);
        return false;
      }
    }
    auto slot = std::make_unique<Slot>();
    slot->description = variable;
    slot->fill = FillOf(variable);
    slots_.push_back(std::move(slot));
    // A scalar holds its fill value until it is written, as in a file.
    if (variable.dimensions.empty()) {
      Slot* scalar = slots_.back().get();
      if (!Grow(scalar, 1))
        return false;
      FillRange(variable.type, scalar->values.get(), 0, 1, scalar->fill);
    }
  }
  for (const NetcdfAttribute& attribute : layout.globals())
    SetAttribute(&globals_, attribute);
  return true;
}

MemoryStore::Slot* MemoryStore::Find(NetcdfVariableId variable) {
  if (failed_ || closed_ || !variable.valid() || static_cast<size_t>(variable.id) >= slots_.size())
    return nullptr;
  return slots_[static_cast<size_t>(variable.id)].get();
}

bool MemoryStore::PutAttributes(NetcdfVariableId variable,
                                const std::vector<NetcdfAttribute>& attributes) {
  const std::lock_guard<std::mutex> hold(mutex_);
  if (failed_ || closed_)
    return false;
  std::vector<NetcdfAttribute>* list = &globals_;
  if (variable.valid()) {
    Slot* slot = Find(variable);
    if (slot == nullptr)
      return false;
    list = &slot->description.attributes;
  }
  for (const NetcdfAttribute& attribute : attributes)
    SetAttribute(list, attribute);
  return true;
}

NetcdfVariableId MemoryStore::Variable(const std::string& name) const {
  const std::lock_guard<std::mutex> hold(mutex_);
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i]->description.name == name)
      return NetcdfVariableId{static_cast<int>(i)};
  }
  return NetcdfVariableId{};
}

// Called with the lock held; a failure is recorded without it.
bool MemoryStore::Grow(Slot* slot, size_t rows) {
  if (rows <= slot->capacity)
    return true;
  const size_t capacity = std::max({rows, slot->capacity * 2, kFirstValues});
  const size_t bytes = ValueBytes(slot->description.type);
  if (!slot->values.Resize(capacity * bytes)) {
    error_ = "cannot keep the NetCDF output in memory: " + std::string(std::strerror(ENOMEM));
    failed_ = true;
    return false;
  }
  slot->capacity = capacity;
  return true;
}

template <typename Value>
bool MemoryStore::PutValues(NetcdfVariableId variable, size_t start, size_t count,
                            const Value* values) {
  const std::lock_guard<std::mutex> hold(mutex_);
  Slot* slot = Find(variable);
  if (slot == nullptr || slot->table() || !Grow(slot, start + count))
    return false;
  const NetcdfType type = slot->description.type;
  if (start > slot->rows)
    FillRange(type, slot->values.get(), slot->rows, start, slot->fill);
  CopyInto(type, slot->values.get(), start, values, count);
  slot->rows = std::max(slot->rows, start + count);
  return true;
}

bool MemoryStore::Put(NetcdfVariableId variable, size_t start, size_t count, const double* values) {
  return PutValues(variable, start, count, values);
}

bool MemoryStore::Put(NetcdfVariableId variable, size_t start, size_t count,
                      const signed char* values) {
  return PutValues(variable, start, count, values);
}

bool MemoryStore::Put(NetcdfVariableId variable, size_t start, size_t count, const int* values) {
  return PutValues(variable, start, count, values);
}

bool MemoryStore::Put(NetcdfVariableId variable, size_t start, size_t count,
                      const long long* values) {
  return PutValues(variable, start, count, values);
}

bool MemoryStore::PutRow(NetcdfVariableId variable, size_t row, size_t count,
                         const double* values) {
  const std::lock_guard<std::mutex> hold(mutex_);
  Slot* slot = Find(variable);
  if (slot == nullptr || !slot->table())
    return false;
  if (slot->rowValues.size() <= row)
    slot->rowValues.resize(row + 1);
  slot->rowValues[row].assign(values, values + count);
  slot->longestRow = std::max(slot->longestRow, count);
  slot->rows = std::max(slot->rows, row + 1);
  return true;
}

bool MemoryStore::PutScalar(NetcdfVariableId variable, double value) {
  const std::lock_guard<std::mutex> hold(mutex_);
  Slot* slot = Find(variable);
  if (slot == nullptr || !slot->description.dimensions.empty())
    return false;
  CopyInto(slot->description.type, slot->values.get(), 0, &value, 1);
  slot->rows = 1;
  return true;
}

bool MemoryStore::PutText(NetcdfVariableId variable, const std::string& text) {
  const std::lock_guard<std::mutex> hold(mutex_);
  Slot* slot = Find(variable);
  if (slot == nullptr || slot->description.type != NetcdfType::kChar ||
      slot->description.dimensions.size() != 1 || !Grow(slot, text.size()))
    return false;
  std::memcpy(slot->values.get(), text.data(), text.size());
  slot->rows = std::max(slot->rows, text.size());
  return true;
}

bool MemoryStore::Get(NetcdfVariableId variable, size_t start, size_t count, double* values) {
  const std::lock_guard<std::mutex> hold(mutex_);
  Slot* slot = Find(variable);
  if (slot == nullptr || slot->table() || start + count > slot->rows)
    return false;
  const void* base = slot->values.get();
  switch (slot->description.type) {
    case NetcdfType::kByte:
    case NetcdfType::kChar:
      CopyOut<signed char>(base, start, count, values);
      break;
    case NetcdfType::kInt:
      CopyOut<int>(base, start, count, values);
      break;
    case NetcdfType::kInt64:
      CopyOut<long long>(base, start, count, values);
      break;
    case NetcdfType::kDouble:
      CopyOut<double>(base, start, count, values);
      break;
  }
  return true;
}

bool MemoryStore::Close() {
  const std::lock_guard<std::mutex> hold(mutex_);
  if (failed_ || dropped_)
    return false;
  closed_ = true;
  return true;
}

// After Close, the store is complete and a late drop (the writer's own
// end) leaves it so.
void MemoryStore::Drop() {
  const std::lock_guard<std::mutex> hold(mutex_);
  if (!closed_)
    dropped_ = true;
}

std::vector<std::string> MemoryStore::UnlimitedDimensions() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  std::vector<std::string> names;
  for (const NetcdfDimension& dimension : dimensions_) {
    if (dimension.length == NetcdfDimension::kUnlimited)
      names.push_back(dimension.name);
  }
  return names;
}

// An unlimited dimension is as long as the longest variable along it, as
// in a NetCDF file.
size_t MemoryStore::LengthOf(const NetcdfDimension& dimension) const {
  if (dimension.length != NetcdfDimension::kUnlimited)
    return dimension.length;
  size_t length = 0;
  for (const std::unique_ptr<Slot>& slot : slots_) {
    const std::vector<std::string>& names = slot->description.dimensions;
    if (!names.empty() && names[0] == dimension.name)
      length = std::max(length, slot->rows);
    if (names.size() >= 2 && names[1] == dimension.name)
      length = std::max(length, slot->longestRow);
  }
  return length;
}

std::vector<NetcdfDimension> MemoryStore::Dimensions() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  std::vector<NetcdfDimension> dimensions;
  for (const NetcdfDimension& dimension : dimensions_)
    dimensions.push_back({dimension.name, LengthOf(dimension)});
  return dimensions;
}

std::vector<NetcdfAttribute> MemoryStore::Globals() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return globals_;
}

// Brings a variable to its dimensions' lengths, the values not written
// filled: a series is cut to its length in place, a table packed in rows.
bool MemoryStore::Finalise(Slot* slot) {
  const std::vector<std::string>& names = slot->description.dimensions;
  if (names.empty())
    return true;
  const size_t rows = LengthOf(*FindDimension(names[0]));
  if (!slot->table()) {
    const size_t written = slot->rows;
    if (!Grow(slot, std::max<size_t>(rows, 1)))
      return false;
    FillRange(slot->description.type, slot->values.get(), written, rows, slot->fill);
    slot->rows = rows;
    return true;
  }
  const size_t columns = LengthOf(*FindDimension(names[1]));
  slot->values.reset();
  slot->capacity = 0;
  if (!Grow(slot, std::max<size_t>(rows * columns, 1)))
    return false;
  auto* table = static_cast<double*>(slot->values.get());
  std::fill_n(table, rows * columns, slot->fill);
  for (size_t row = 0; row < slot->rowValues.size() && row < rows; ++row)
    std::copy(slot->rowValues[row].begin(), slot->rowValues[row].end(), table + row * columns);
  slot->rowValues.clear();
  return true;
}

std::vector<StoredVariable> MemoryStore::TakeVariables() {
  const std::lock_guard<std::mutex> hold(mutex_);
  std::vector<StoredVariable> taken;
  if (!closed_)
    return taken;
  std::vector<std::vector<size_t>> shapes;
  for (const std::unique_ptr<Slot>& slot : slots_) {
    std::vector<size_t> shape;
    for (const std::string& name : slot->description.dimensions)
      shape.push_back(LengthOf(*FindDimension(name)));
    shapes.push_back(std::move(shape));
  }
  for (size_t i = 0; i < slots_.size(); ++i) {
    Slot& slot = *slots_[i];
    if (slot.taken || !Finalise(&slot))
      return {};
  }
  for (size_t i = 0; i < slots_.size(); ++i) {
    Slot& slot = *slots_[i];
    slot.taken = true;
    taken.push_back({slot.description, shapes[i], std::move(slot.values)});
  }
  return taken;
}
