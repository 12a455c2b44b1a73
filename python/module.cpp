// import grpaudit: the library for Python callers, without a subprocess.

#include "bindings.h"

PYBIND11_MODULE(grpaudit, m) {
  using namespace grpaudit::python;
  m.doc() =
      "Checks that a Linux switch's ASIC forwards IPv4 multicast as the kernel's routes say. "
      "See docs/python.md.";
  m.attr("__version__") = GRPAUDIT_VERSION;
  bind_errors(m);
  bind_platforms(m);
  bind_records(m);
  bind_asic(m);
  bind_audit(m);
}
