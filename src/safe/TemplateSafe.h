#pragma once
// The template Safe compiled into the program: the bytes of a Safe file whose password is
// kTemplateSafePassword (safe/TemplateContent.h). tools/template generates it at build time from the
// template content and the project's icons; the build compiles it into qm_safe as a byte array.
#include <string_view>

namespace quillmar {

// The whole template Safe file. Only in programs that link qm_safe (not qm_safe_layout).
std::string_view TemplateSafeImage();

}  // namespace quillmar
