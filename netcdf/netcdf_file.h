// A NetCDF-4 file as the outputs see it: a description of its dimensions,
// variables and attributes (NetcdfLayout), the store its values are written
// into (NetcdfStore) and the file created from it (NetcdfFile). Several
// parts of the program add to one layout or one open file; none of them
// sees the library or its ids.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

enum class NetcdfType { kByte, kInt, kInt64, kDouble, kChar };

// Text, one number, or a list of bytes (a flag variable's values).
// The longest name of a dimension, variable or attribute the library takes
// (its NC_MAX_NAME).
inline constexpr size_t kNetcdfLongestName = 256;

using NetcdfValue = std::variant<std::string, double, int, long long, unsigned long long,
                                 std::vector<signed char>, std::vector<double>>;

struct NetcdfAttribute {
  std::string name;
  NetcdfValue value;
};

struct NetcdfDimension {
  static constexpr size_t kUnlimited = 0;
  std::string name;
  size_t length = kUnlimited;
};

enum class NetcdfFill {
  kLibrary,  // the library's default fill value
  kNone,     // every value is written: no fill
  kValue,    // `fillValue` (double variables)
};

struct NetcdfVariable {
  std::string name;
  NetcdfType type = NetcdfType::kDouble;
  std::vector<std::string> dimensions;  // none: a scalar
  std::vector<size_t> chunks;           // one per dimension; none: the library's choice
  bool deflate = false;                 // shuffled, then deflated at kDeflateLevel
  NetcdfFill fill = NetcdfFill::kLibrary;
  double fillValue = 0.0;
  size_t cacheBytes = 0;  // the variable's chunk cache; 0: the library's
  // Its slots: chunks that share a slot push each other out of the cache.
  size_t cacheSlots = 1;
  std::vector<NetcdfAttribute> attributes;

  NetcdfVariable& Attribute(std::string attributeName, NetcdfValue value) {
    attributes.push_back({std::move(attributeName), std::move(value)});
    return *this;
  }
};

class NetcdfLayout {
 public:
  void AddDimension(std::string name, size_t length = NetcdfDimension::kUnlimited) {
    dimensions_.push_back({std::move(name), length});
  }
  // The reference stays valid until the next variable is added.
  NetcdfVariable& AddVariable(std::string name, NetcdfType type,
                              std::vector<std::string> dimensions = {}) {
    NetcdfVariable variable;
    variable.name = std::move(name);
    variable.type = type;
    variable.dimensions = std::move(dimensions);
    variables_.push_back(std::move(variable));
    return variables_.back();
  }
  void AddGlobal(std::string name, NetcdfValue value) {
    globals_.push_back({std::move(name), std::move(value)});
  }

  const std::vector<NetcdfDimension>& dimensions() const { return dimensions_; }
  const std::vector<NetcdfVariable>& variables() const { return variables_; }
  const std::vector<NetcdfAttribute>& globals() const { return globals_; }

 private:
  std::vector<NetcdfDimension> dimensions_;
  std::vector<NetcdfVariable> variables_;
  std::vector<NetcdfAttribute> globals_;
};

// The value the library gives a variable's unwritten values when it has no
// fill value of its own (NetcdfFill::kLibrary).
double NetcdfLibraryFill(NetcdfType type);

// A variable of an open file, found by its name.
struct NetcdfVariableId {
  int id = -1;
  bool valid() const { return id >= 0; }
};

// Where a layout's values go: the file on disk (NetcdfFile) or any other
// store that keeps the same dimensions, variables and attributes (the
// Python module's arrays). The writers of the outputs write through this
// interface only, so every store gets the same dataset. Every call is safe
// from any thread. The first failure is kept (`error()`) and every later
// call fails at once.
class NetcdfStore {
 public:
  NetcdfStore() = default;
  virtual ~NetcdfStore() = default;
  NetcdfStore(const NetcdfStore&) = delete;
  NetcdfStore& operator=(const NetcdfStore&) = delete;

  // Adds more dimensions, variables and global attributes.
  virtual bool Define(const NetcdfLayout& layout) = 0;
  // Adds or replaces attributes of a variable, or global ones (no id).
  virtual bool PutAttributes(NetcdfVariableId variable,
                             const std::vector<NetcdfAttribute>& attributes) = 0;
  bool PutGlobals(const std::vector<NetcdfAttribute>& attributes) {
    return PutAttributes(NetcdfVariableId{}, attributes);
  }

  virtual NetcdfVariableId Variable(const std::string& name) const = 0;

  // `count` values of a one-dimensional variable from `start` on.
  virtual bool Put(NetcdfVariableId variable, size_t start, size_t count, const double* values) = 0;
  virtual bool Put(NetcdfVariableId variable, size_t start, size_t count,
                   const signed char* values) = 0;
  virtual bool Put(NetcdfVariableId variable, size_t start, size_t count, const int* values) = 0;
  virtual bool Put(NetcdfVariableId variable, size_t start, size_t count,
                   const long long* values) = 0;
  // The first `count` values of row `row` of a two-dimensional variable.
  virtual bool PutRow(NetcdfVariableId variable, size_t row, size_t count,
                      const double* values) = 0;
  virtual bool PutScalar(NetcdfVariableId variable, double value) = 0;
  // The text of a character variable of one dimension, as long as the text.
  virtual bool PutText(NetcdfVariableId variable, const std::string& text) = 0;
  virtual bool Get(NetcdfVariableId variable, size_t start, size_t count, double* values) = 0;

  // Everything was written: the store is complete. False when any step failed.
  virtual bool Close() = 0;
  // The run did not finish: what was written is not to be used.
  virtual void Drop() = 0;

  virtual bool failed() const = 0;
  virtual std::string error() const = 0;
  // Records a failure of the caller's own (a value it could not make).
  virtual void Fail(const std::string& doing, const std::string& why) = 0;
};

// Every call is safe from any thread: the library is entered by one
// thread at a time, whatever file it works on. The first failure is kept
// (`error()`) and every later call on the file fails at once.
class NetcdfFile final : public NetcdfStore {
 public:
  static constexpr int kDeflateLevel = 1;

  NetcdfFile() = default;
  ~NetcdfFile() override;

  // Creates the file at `path` (replacing it) with what `layout` describes.
  // Messages name `shownName`: the name the user will see, where the file
  // is written under a temporary one.
  bool Create(const std::string& path, const std::string& shownName, const NetcdfLayout& layout);
  // Adds more dimensions, variables and global attributes to the open file.
  bool Define(const NetcdfLayout& layout) override;
  // Adds or replaces attributes of a variable, or global ones (no id).
  bool PutAttributes(NetcdfVariableId variable,
                     const std::vector<NetcdfAttribute>& attributes) override;

  NetcdfVariableId Variable(const std::string& name) const override;

  // `count` values of a one-dimensional variable from `start` on.
  bool Put(NetcdfVariableId variable, size_t start, size_t count, const double* values) override;
  bool Put(NetcdfVariableId variable, size_t start, size_t count,
           const signed char* values) override;
  bool Put(NetcdfVariableId variable, size_t start, size_t count, const int* values) override;
  bool Put(NetcdfVariableId variable, size_t start, size_t count, const long long* values) override;
  // The first `count` values of row `row` of a two-dimensional variable.
  bool PutRow(NetcdfVariableId variable, size_t row, size_t count, const double* values) override;
  bool PutScalar(NetcdfVariableId variable, double value) override;
  // The text of a character variable of one dimension, as long as the text.
  bool PutText(NetcdfVariableId variable, const std::string& text) override;
  bool Get(NetcdfVariableId variable, size_t start, size_t count, double* values) override;

  // Writes what is left and closes the file. False when any step failed.
  bool Close() override;
  // Closes the file without finishing it; the caller removes it. A file the
  // library failed to write is not handed back to it (its close would read
  // what the failure freed): it is emptied and left open until the process
  // ends.
  void Drop() override;

  bool isOpen() const;
  bool failed() const override { return failed_.load(std::memory_order_acquire); }
  std::string error() const override;
  // Records a failure of the caller's own (a value it could not make).
  void Fail(const std::string& doing, const std::string& why) override;

 private:
  bool Check(int status, const char* doing);
  // Runs one library call with errno cleared before it, so that what it
  // holds after a failure is that call's.
  template <typename LibraryCall>
  bool Call(const char* doing, LibraryCall call) {
    errno = 0;
    const int status = call();
    return Check(status, doing);
  }
  bool DefineAll(const NetcdfLayout& layout);
  bool DefineVariable(const NetcdfVariable& variable);
  bool PutAttribute(int variable, const NetcdfAttribute& attribute);
  bool Enter(bool defining);
  bool Usable() const { return ncid_ >= 0 && !failed(); }
  void LeaveFailedFile();

  std::string path_;
  std::string shownName_;
  int ncid_ = -1;
  bool defining_ = false;
  mutable std::mutex errorMutex_;
  std::string error_;
  std::atomic<bool> failed_{false};
};
