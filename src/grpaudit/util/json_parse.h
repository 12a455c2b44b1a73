#pragma once
// Reading JSON from outside (the snapshot file, the kernel's JSON listings):
// one parser, simdjson's DOM, reads every document once.

#include <string_view>

#include <simdjson.h>

namespace grpaudit::util {

// The document `text` holds, kept by `parser` until its next parse. A text
// that is not JSON throws the nlohmann::json exception that words why and,
// for a syntax error, where (simdjson reports neither). A text may be nested
// as deeply as its brackets allow. A leading UTF-8 byte order mark is skipped.
simdjson::dom::element parse_json(simdjson::dom::parser& parser, std::string_view text);

// The same for a text followed by at least simdjson::SIMDJSON_PADDING
// readable bytes, which the parser reads in place instead of copying.
simdjson::dom::element parse_padded_json(simdjson::dom::parser& parser,
                                         simdjson::padded_string_view text);

}  // namespace grpaudit::util
