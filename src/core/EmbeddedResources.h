#pragma once
// Resources compiled into qm_core (HTML templates and the like), by name. The bytes are those of the
// file under src/core/resources/ whose base name is the resource name, unchanged (line ends and code
// page included); src/core/Resources.cmake generates the table at build time.
#include <string_view>

namespace quillmar {

// The bytes of the resource called name (for example "IDH_CM_TEMPLATE"). Throws EQuillmarError when
// the program holds no resource of that name.
std::string_view EmbeddedResource(std::string_view name);

}  // namespace quillmar
