#pragma once
// The two submenus of the tray menu that list the repository's entries: "AutoFill Web Forms" (entries
// with an autofill record) and "Visit WebSites" (one item per filled "URL" field), built afresh each
// time the menu opens, and what choosing an item hands on.
#include <string>
#include <vector>

#include "core/qmRepositoryTree.h"

namespace quillmar {

class TqmGlobal;

// One item of a tray submenu.
struct TqmTrayItem {
  std::string Caption;            // the entry's DisplayPath (Safe text)
  std::string Icon;               // the bytes of the entry's icon (".ico"); empty when it has none
  std::string Data;               // what the item hands on: the autofill menu data, or the address as stored
  TqmRepositoryTree::TItem Item;  // the entry (valid while the tree keeps it)
};

struct TqmTrayMenus {
  std::vector<TqmTrayItem> AutoFill;  // "AutoFill Web Forms"
  std::vector<TqmTrayItem> Sites;     // "Visit WebSites"
};

// Walks every entry of the tree in display order (loading what is not loaded yet; later openings
// read nothing) and lists an autofill item for each entry whose AutoFill is not empty, and a site
// item for each filled "URL" field, in field order (an entry with two is listed twice). The global's
// AutoFillMenuData and UrlMenuData are emptied and filled in step with the items: an autofill item's
// data is AutoFill, "|", then the NameValueList lines each ended by CR LF.
TqmTrayMenus BuildTrayMenus(TqmGlobal& global, TqmRepositoryTree& tree);

// Takes autofill menu data apart: the text before the first "|" is the autofill record, the rest,
// split at line ends (CR LF, or LF alone), the name-value list. Data without "|" is all record.
void SplitAutoFillMenuData(const std::string& data, std::string& autoFill,
                           std::vector<std::string>& nameValues);

// The address a site item opens: the stored value, with "http://" in front when it holds no "://".
// Returns "" and says why in `refusal` when the address must not be handed to the desktop: one that
// opens a file of this computer ("file://"), or one without a host.
std::string SiteAddress(const std::string& value, std::string& refusal);

}  // namespace quillmar
