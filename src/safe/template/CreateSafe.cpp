// TqmSFSWrapper::CreateSafe lives beside the embedded template Safe (qm_safe) rather than with the
// rest of the layout code (qm_safe_layout), so that the generator of the template can use the layout
// code without needing its own output.
#include "safe/TemplateContent.h"
#include "safe/TemplateSafe.h"
#include "safe/qmSFSWrapper.h"

namespace quillmar {

TTextKey TqmSFSWrapper::CreateSafe(const std::string& file, std::string_view password, bool withDemoData,
                                   TqmSafeKind kind) {
  return CreateSafeFromImage(TemplateSafeImage(), kTemplateSafePassword, file, password, withDemoData, kind);
}

}  // namespace quillmar
