// The library's errors as Python exceptions, with the library's texts.

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <system_error>

#include "bindings.h"
#include "grpaudit/platform/errors.h"

namespace grpaudit::python {
namespace {

// Created once, kept for the interpreter's life (never released: a static
// py::object would be released after the interpreter is gone).
PyObject* g_shell_timeout = nullptr;
PyObject* g_snapshot_error = nullptr;

void raise(PyObject* type, const char* text) {
  PyErr_SetString(type, text);
}

}  // namespace

py::handle shell_timeout_type() {
  return g_shell_timeout;
}

void bind_errors(py::module_& m) {
  g_shell_timeout = PyErr_NewExceptionWithDoc("grpaudit.ShellTimeout",
                                              "The SDK shell did not answer a command in time.",
                                              PyExc_OSError, nullptr);
  if (g_shell_timeout == nullptr) throw py::error_already_set();
  g_snapshot_error = PyErr_NewExceptionWithDoc(
      "grpaudit.SnapshotError",
      "A snapshot file that cannot be read, is not JSON, or does not have the snapshot format.",
      PyExc_RuntimeError, nullptr);
  if (g_snapshot_error == nullptr) throw py::error_already_set();
  m.attr("ShellTimeout") = py::handle(g_shell_timeout);
  m.attr("SnapshotError") = py::handle(g_snapshot_error);

  // In the order that matters: several kinds derive from std::runtime_error.
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      std::rethrow_exception(p);
    } catch (const py::builtin_exception& e) {
      e.set_error();  // pybind11's own, TypeError included
    } catch (const ShellIoError& e) {
      raise(g_shell_timeout, e.what());
    } catch (const SnapshotError& e) {
      raise(g_snapshot_error, e.what());
    } catch (const UsageError& e) {
      raise(PyExc_ValueError, e.what());
    } catch (const nlohmann::json::exception& e) {
      raise(PyExc_ValueError, e.what());
    } catch (const std::system_error& e) {
      // OSError(errno, text): e.errno and e.strerror, as Python's own.
      PyErr_SetObject(PyExc_OSError, py::make_tuple(e.code().value(), e.what()).ptr());
    } catch (const std::invalid_argument& e) {
      raise(PyExc_ValueError, e.what());
    } catch (const std::out_of_range& e) {
      raise(PyExc_KeyError, e.what());
    } catch (const std::runtime_error& e) {
      raise(PyExc_RuntimeError, e.what());
    }
  });
}

}  // namespace grpaudit::python
