#pragma once
// Read-only views of an Asic's tables: a mapping that reads the table in
// place and hands out copies of its records, so that nothing Python holds
// points into a table that a later comparison adds to.

#include <pybind11/stl.h>

#include "bindings.h"

namespace grpaudit::python {

template <typename Map>
struct MapView {
  const Map* map;
  const PythonAsic* owner;

  const Map& get() const {
    check_not_busy(*owner);
    return *map;
  }
};

template <typename Map>
py::list keys_of(const MapView<Map>& v) {
  py::list out;
  for (const auto& [k, _] : v.get()) out.append(py::cast(k));
  return out;
}

template <typename Map>
void bind_map_view(py::module_& m, const char* name) {
  using View = MapView<Map>;
  using Key = typename Map::key_type;
  py::class_<View>(m, name, "A read-only mapping of one of an Asic's tables, in key order.")
      .def("__len__", [](const View& v) { return v.get().size(); })
      .def("__contains__",
           [](const View& v, const py::object& key) {
             Key k;
             try {
               k = key.cast<Key>();
             } catch (const py::cast_error&) {
               return false;
             }
             return v.get().find(k) != v.get().end();
           })
      .def("__getitem__",
           [](const View& v, const Key& key) {
             const auto it = v.get().find(key);
             if (it == v.get().end()) {
               PyErr_SetObject(PyExc_KeyError, py::cast(key).ptr());
               throw py::error_already_set();
             }
             return it->second;
           })
      .def(
          "get",
          [](const View& v, const Key& key, py::object fallback) -> py::object {
            const auto it = v.get().find(key);
            return it == v.get().end() ? fallback : py::cast(it->second);
          },
          py::arg("key"), py::arg("default") = py::none())
      .def("keys", &keys_of<Map>)
      .def("values",
           [](const View& v) {
             py::list out;
             for (const auto& [_, value] : v.get()) out.append(py::cast(value));
             return out;
           })
      .def("items",
           [](const View& v) {
             py::list out;
             for (const auto& [k, value] : v.get()) out.append(py::make_tuple(k, value));
             return out;
           })
      .def("__iter__", [](const View& v) { return py::iter(keys_of(v)); })
      .def("__repr__", [name](const View& v) {
        return std::string(name) + "(" + std::to_string(v.get().size()) + " entries)";
      });
}

}  // namespace grpaudit::python
