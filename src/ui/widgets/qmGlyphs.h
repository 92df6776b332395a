#pragma once
// The small pictures of the field buttons, named as the program's bitmap resources ("IDB_PASSWORD",
// "IDB_CALENDAR", ...). Each is one of the program's own SVG drawings (resources/glyphs), rendered
// sharp at every size a button asks for; a disabled button shows it greyed.
#include <QIcon>
#include <QString>

namespace quillmar {

// The glyph of that resource name; a null icon for an unknown name.
QIcon ButtonGlyph(const QString& resourceName);

}  // namespace quillmar
