#include "progress.h"

#include <fmt/format.h>

#include <ostream>

namespace grpaudit::cli {
namespace {

class AnnouncingShell : public asicterm::asicterm {
 public:
  AnnouncingShell(std::unique_ptr<::asicterm::asicterm> inner, std::shared_ptr<Progress> progress)
      : inner_(std::move(inner)), progress_(std::move(progress)) {}

  std::string run(const std::string& cmd) override {
    progress_->sdk_asked(cmd);
    return inner_->run(cmd);
  }
  std::shared_ptr<const std::string> run_shared(const std::string& cmd) override {
    progress_->sdk_asked(cmd);
    return inner_->run_shared(cmd);
  }
  std::vector<::asicterm::Fields> gettable(const std::string& table, bool fields,
                                           std::int64_t start, std::int64_t entries) override {
    progress_->sdk_asked(fmt::format("{} entry {}", table, start));
    return inner_->gettable(table, fields, start, entries);
  }

 private:
  std::unique_ptr<::asicterm::asicterm> inner_;
  std::shared_ptr<Progress> progress_;
};

}  // namespace

void Progress::show(const std::string& text, bool force) {
  if (!enabled_) return;
  // Redrawing more often than the eye can follow only slows the run.
  const auto now = std::chrono::steady_clock::now();
  if (!force && shown_ && now - last_ < std::chrono::milliseconds(50)) return;
  last_ = now;
  err_ << "\r\033[K" << text.substr(0, 100) << std::flush;
  shown_ = true;
}

void Progress::count(const char* what, std::size_t done, std::size_t total) {
  if (!enabled_) return;
  if (done != total && done % 64 != 0) return;
  show(fmt::format("{} {}/{}", what, done, total), done == total);
}

void Progress::clear() {
  if (!enabled_ || !shown_) return;
  err_ << "\r\033[K" << std::flush;
  shown_ = false;
}

Platform with_progress(Platform inner, std::shared_ptr<Progress> progress) {
  if (inner.sdk_shell) {
    inner.sdk_shell = [make = std::move(inner.sdk_shell), progress](int timeout) {
      return std::make_unique<AnnouncingShell>(make(timeout), progress);
    };
  }
  return inner;
}

}  // namespace grpaudit::cli
