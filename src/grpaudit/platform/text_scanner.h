#pragma once
// Finding the long texts of a snapshot document in its bytes, so that the
// loader can leave them in the file (see file_texts.h).

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "grpaudit/platform/file_texts.h"

namespace grpaudit::platform {

// Long texts by their place in the document: the SDK commands' outputs, the
// host commands' standard outputs and the host files.
struct TextSpans {
  using ByKey = std::map<std::string, FileTextSpan, std::less<>>;
  ByKey sdk_commands;
  ByKey host_stdout;
  ByKey host_files;
};

// Finds the long texts of a snapshot document in its bytes, and writes the
// document without them (an empty string in the place of each) for the
// parser, so that the parser neither reads them nor holds a copy. It reads
// just enough JSON to know where it is: the parser checks the rest, and the
// scanner checks each text it leaves out as the parser would check it.
// Anything it does not plainly understand makes it give up; the whole
// document then goes to the parser.
class TextScanner {
 public:
  // Texts of at least `min_size` bytes (as written in the document) are left out.
  TextScanner(std::string_view bytes, std::size_t min_size) : bytes_(bytes), min_size_(min_size) {}

  // False when the scanner gives up.
  bool scan();

  // The texts left out that a reader takes: of a key given twice the last
  // counts, and of a section given twice the last.
  const TextSpans& spans() const { return spans_; }
  bool left_out() const { return !cuts_.empty(); }

  // The document without the texts left out: its size, and its bytes
  // written to `out`.
  std::size_t rest_size() const;
  void write_rest(char* out) const;

 private:
  // Where a value stands, as far as the scanner needs to know.
  enum class Place {
    kOther,
    kTop,
    kSdk,
    kSdkCommands,
    kSdkCommand,
    kHost,
    kHostCommands,
    kHostCommand,
    kHostStdout,
    kHostFiles,
    kHostFile
  };
  static Place member_place(Place parent, std::string_view key);

  bool value(Place place, const std::string& key, int depth);
  bool object(Place place, const std::string& key, int depth);
  bool array(int depth);
  bool key(std::string& out);
  bool text(TextSpans::ByKey& into, const std::string& key);
  std::size_t string_end();
  void blank();
  bool eat(char c);

  std::string_view bytes_;
  std::size_t min_size_;
  std::size_t at_ = 0;
  TextSpans spans_;
  // The insides of the strings left out, in the document's order.
  std::vector<std::pair<std::size_t, std::size_t>> cuts_;
};

namespace detail {

// In `bytes`, the closing quote of the JSON string whose inside starts at
// `body`: the first quote that no backslash escapes, or npos.
std::size_t closing_quote(std::string_view bytes, std::size_t body);

}  // namespace detail
}  // namespace grpaudit::platform
