#include "error_kind.h"

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <system_error>

#include "grpaudit/platform/errors.h"

namespace grpaudit::cli {

ErrorReport classify(const std::exception_ptr& error) {
  // The order matters: several kinds derive from std::runtime_error.
  try {
    std::rethrow_exception(error);
  } catch (const UsageError& e) {
    return {"usage", e.what()};
  } catch (const SnapshotError& e) {
    return {"snapshot", e.what()};
  } catch (const ShellIoError& e) {
    return {"shell-timeout", e.what()};
  } catch (const nlohmann::json::exception& e) {
    return {"json", e.what()};
  } catch (const std::system_error& e) {
    return {"os", e.what()};
  } catch (const std::invalid_argument& e) {
    return {"value", e.what()};
  } catch (const std::out_of_range& e) {
    return {"lookup", e.what()};
  } catch (const std::exception& e) {
    return {"runtime", e.what()};
  } catch (...) {
    return {"runtime", "unknown error"};
  }
}

}  // namespace grpaudit::cli
