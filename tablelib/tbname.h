// Table-name parsing layers below tbnparse (used by tbnparse and its tests).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tbl {

bool nextbk(std::string_view name, std::size_t& pos, std::string& group, int maxch);
void rdselect(std::string_view name, std::string& rebuilt, std::string& rowsel,
              std::string& colsel, int maxselect);
void tbnexr(std::string_view expr, std::string& extname, int maxch, int& extver,
            int& hdu, int& overwrite);

}  // namespace tbl
