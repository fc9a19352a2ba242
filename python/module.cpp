// The compiled part of the Python package `zorqconvert`: runs a dump
// through the engine and its conversion job with the GIL released, and
// hands back the memory store's variables as NumPy arrays over the store's
// own buffers. The package's Python code makes the xarray Dataset of them.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "convert/status.h"
#include "python/dump_run.h"
#include "python/run_options.h"

namespace py = pybind11;

namespace {

// How often the waiting thread looks for a signal (Ctrl+C) while the
// engine runs.
constexpr std::chrono::milliseconds kSignalPoll{50};

// Runs the dump on a thread of its own while this one, without the GIL,
// waits; a signal's Python exception (KeyboardInterrupt) cancels the engine
// and is raised once it stopped.
DumpRunResult RunWithoutGil(const DumpInput& input, const DumpRunSettings& settings,
                            MemoryStore* store) {
  std::atomic<bool> cancel{false};
  std::packaged_task<DumpRunResult()> task([&] { return RunDump(input, settings, store, cancel); });
  std::future<DumpRunResult> done = task.get_future();
  std::thread engine(std::move(task));
  for (;;) {
    bool finished = false;
    {
      const py::gil_scoped_release unlocked;
      finished = done.wait_for(kSignalPoll) == std::future_status::ready;
    }
    if (finished)
      break;
    if (PyErr_CheckSignals() != 0) {
      cancel.store(true);
      {
        const py::gil_scoped_release unlocked;
        engine.join();
      }
      throw py::error_already_set();
    }
  }
  engine.join();
  return done.get();
}

py::object Text(const std::string& text) {
  // A deployment file's text that is not UTF-8 still reaches Python.
  PyObject* decoded =
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
  if (decoded == nullptr)
    throw py::error_already_set();
  return py::reinterpret_steal<py::object>(decoded);
}

// An attribute as netCDF4 reads it back: text, or a NumPy scalar or array
// of the attribute's own type.
py::object AttributeValue(const NetcdfValue& value, const py::module_& numpy) {
  if (const auto* text = std::get_if<std::string>(&value))
    return Text(*text);
  if (const auto* number = std::get_if<double>(&value))
    return numpy.attr("float64")(*number);
  if (const auto* whole = std::get_if<int>(&value))
    return numpy.attr("int32")(*whole);
  if (const auto* wide = std::get_if<long long>(&value))
    return numpy.attr("int64")(*wide);
  if (const auto* large = std::get_if<unsigned long long>(&value))
    return numpy.attr("uint64")(*large);
  if (const auto* numbers = std::get_if<std::vector<double>>(&value))
    return numpy.attr("array")(py::cast(*numbers), "float64");
  const auto& bytes = std::get<std::vector<signed char>>(value);
  return numpy.attr("array")(py::cast(bytes), "int8");
}

py::dict Attributes(const std::vector<NetcdfAttribute>& attributes, const py::module_& numpy) {
  py::dict dict;
  for (const NetcdfAttribute& attribute : attributes)
    dict[Text(attribute.name)] = AttributeValue(attribute.value, numpy);
  return dict;
}

py::dtype DtypeOf(NetcdfType type) {
  switch (type) {
    case NetcdfType::kByte:
      return py::dtype::of<int8_t>();
    case NetcdfType::kInt:
      return py::dtype::of<int32_t>();
    case NetcdfType::kInt64:
      return py::dtype::of<int64_t>();
    case NetcdfType::kChar:
      return py::dtype("S1");  // as netCDF4 reads a character variable
    case NetcdfType::kDouble:
      break;
  }
  return py::dtype::of<double>();
}

// The array over the store's buffer: NumPy frees it with the array.
py::array ValuesOf(StoredVariable& variable) {
  auto buffer = std::make_unique<StoreBuffer>(std::move(variable.values));
  void* data = buffer->get();
  const py::capsule owner(buffer.get(), [](void* held) { delete static_cast<StoreBuffer*>(held); });
  static_cast<void>(buffer.release());
  return py::array(DtypeOf(variable.description.type), variable.shape, data, owner);
}

// What xarray's netCDF4 backend puts in a variable's encoding.
py::dict EncodingOf(const StoredVariable& variable) {
  const NetcdfVariable& description = variable.description;
  py::dict encoding;
  const bool chunked = !description.chunks.empty();
  encoding["zlib"] = description.deflate;
  encoding["shuffle"] = description.deflate;
  encoding["complevel"] = description.deflate ? NetcdfFile::kDeflateLevel : 0;
  encoding["fletcher32"] = false;
  // The library stores a variable contiguously unless it is chunked: a
  // scalar, or one on fixed dimensions given no chunks.
  encoding["contiguous"] = !chunked;
  encoding["chunksizes"] =
      chunked ? py::object(py::tuple(py::cast(description.chunks))) : py::object(py::none());
  encoding["original_shape"] = py::tuple(py::cast(variable.shape));
  encoding["dtype"] = DtypeOf(description.type);
  return encoding;
}

py::dict VariableOf(StoredVariable& variable, const py::module_& numpy) {
  py::dict entry;
  entry["name"] = Text(variable.description.name);
  entry["dims"] = py::tuple(py::cast(variable.description.dimensions));
  py::dict attributes = Attributes(variable.description.attributes, numpy);
  // As netCDF4 shows a fill value of the variable's own.
  if (variable.description.fill == NetcdfFill::kValue)
    attributes["_FillValue"] = numpy.attr("float64")(variable.description.fillValue);
  entry["attrs"] = attributes;
  entry["encoding"] = EncodingOf(variable);
  entry["data"] = ValuesOf(variable);
  return entry;
}

py::dict StoreContents(MemoryStore& store) {
  const py::module_ numpy = py::module_::import("numpy");
  py::dict contents;
  py::list dimensions;
  py::set unlimited;
  for (const NetcdfDimension& dimension : store.Dimensions())
    dimensions.append(py::make_tuple(dimension.name, dimension.length));
  contents["dimensions"] = dimensions;
  for (const std::string& name : store.UnlimitedDimensions())
    unlimited.add(Text(name));
  contents["unlimited_dims"] = unlimited;
  py::list variables;
  for (StoredVariable& variable : store.TakeVariables())
    variables.append(VariableOf(variable, numpy));
  contents["variables"] = variables;
  contents["attrs"] = Attributes(store.Globals(), numpy);
  return contents;
}

DumpInput InputOf(const py::object& source, const std::string& name) {
  DumpInput input;
  if (py::isinstance<py::bytes>(source)) {
    input.inMemory = true;
    input.bytes = source.cast<std::string>();
    input.path = name.empty() ? "<bytes>" : name;
  } else {
    input.path = source.cast<std::string>();
  }
  return input;
}

py::tuple Run(const py::object& source, const std::string& name, const py::dict& options,
              bool netcdf, bool waves) {
  const DumpInput input = InputOf(source, name);
  DumpRunSettings settings = RunSettingsOf(options);
  settings.netcdf = netcdf;
  settings.waves = waves;
  MemoryStore store;
  const DumpRunResult run = RunWithoutGil(input, settings, &store);
  py::object contents = py::none();
  if (run.finished() && (netcdf || waves) && store.closed())
    contents = StoreContents(store);
  return py::make_tuple(ReportOf(input, settings, run), contents);
}

// The engine's look at a header: a dump it knows, of either kind.
bool IsDumpHeader(const py::bytes& head) {
  const std::string block = head;
  return LookAtHeader(block.data(), static_cast<int>(block.size())).kind != DumpKind::Unknown;
}

}  // namespace

PYBIND11_MODULE(_zorqconvert, module) {
  module.doc() = "The ZORQConvert engine, run from Python";
  module.def("run", &Run, py::arg("source"), py::arg("name"), py::arg("options"), py::arg("netcdf"),
             py::arg("waves"),
             "Converts a dump (a path, or its bytes with `name`); returns (report, contents): "
             "the report as a dict and, with `netcdf`, the NetCDF output's dimensions, "
             "variables and attributes.");
  module.def("is_dump_header", &IsDumpHeader, py::arg("head"),
             "True when `head` (a file's first bytes) is the header of a dump the engine knows.");
  module.attr("STATUS_FINISHED") = kStatusFinished;
}
