#pragma once
// The Python module's pieces, each bound by one function of its own file.
//
// Every call that reads the switch or compares routes runs with the GIL
// released; Python objects that the library calls back (an SDK shell, a
// checker) take it again for the call.

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <thread>

#include "grpaudit/asic/asic.h"
#include "grpaudit/platform/platform.h"

namespace grpaudit::python {

namespace py = pybind11;

// A platform as Python holds it: grpaudit.Snapshot or grpaudit.LiveSwitch.
struct PythonPlatform {
  Platform platform;
  std::string description;  // what repr() shows
};

// An Asic with the guard that keeps a second thread out while one works on
// it with the GIL released: its tables are not to be read while a
// comparison adds to them. The working thread itself may use it meanwhile
// (a checker the comparison calls looks at the Asic it is given). The
// guard is only read and set with the GIL held.
struct PythonAsic {
  std::unique_ptr<Asic> asic;
  std::thread::id worker;  // none while no thread works on it
  int depth = 0;           // the worker's nested uses
};

// Marks `a` worked on by this thread for its lifetime; another thread's use
// meanwhile is a RuntimeError.
class Busy {
 public:
  explicit Busy(PythonAsic& a);
  ~Busy();
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;

 private:
  PythonAsic& a_;
};
// Refuses (RuntimeError) to read `a` while another thread works on it.
void check_not_busy(const PythonAsic& a);

// A Python object whose last reference may be dropped without the GIL held
// (a platform's factories are copied and destroyed by the library).
class SharedObject {
 public:
  explicit SharedObject(py::object obj);  // with the GIL held
  ~SharedObject();
  SharedObject(const SharedObject&) = delete;
  SharedObject& operator=(const SharedObject&) = delete;
  const py::object& get() const { return obj_; }

 private:
  py::object obj_;
};

void bind_errors(py::module_& m);
void bind_platforms(py::module_& m);
void bind_records(py::module_& m);
void bind_asic(py::module_& m);
void bind_audit(py::module_& m);

// grpaudit.ShellTimeout, for the SDK shells written in Python.
py::handle shell_timeout_type();

}  // namespace grpaudit::python
