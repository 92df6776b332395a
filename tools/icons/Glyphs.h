#pragma once
// The project's icon glyphs, each drawn on the 32-unit design grid at any pixel size.
#include <string_view>
#include <vector>

#include "Raster.h"

namespace quillmar::icons {

struct Glyph {
  const char* name;  // the icon's file name without ".ico"
  void (*draw)(Canvas& canvas);
};

// Every glyph, in a fixed order.
const std::vector<Glyph>& AllGlyphs();
// The glyph of that name, or nullptr.
const Glyph* FindGlyph(std::string_view name);
// The glyph drawn at pixels x pixels.
Image Render(const Glyph& glyph, int pixels);

}  // namespace quillmar::icons
