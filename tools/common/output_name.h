// Output naming shared by the converters' windows and command lines: the
// output is the input's file name in the output folder with its extension
// replaced, and a name another row already uses gets "_2", "_3", ...
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tools_common {

/// folder + "/" + the input's file name with its extension (the part after
/// the last dot of the file name) replaced by `extension` ("MPG"); a name
/// without a dot gets "." + extension. An empty folder keeps the input's
/// own folder ("." for a bare name).
std::string output_path(std::string_view input, std::string_view folder, std::string_view extension);

/// True when both paths name the same file by text, compared without case
/// (the rows' rule for clashes).
bool same_name(std::string_view a, std::string_view b);

/// `path` when no entry of `taken` has the same name (same_name); otherwise
/// the first of stem_2.ext, stem_3.ext, ... that none has.
std::string unique_output_path(const std::string &path, const std::vector<std::string> &taken);

}  // namespace tools_common
