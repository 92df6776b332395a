#include "core/qmTrayMenus.h"

#include <cctype>
#include <functional>

#include "core/qmGlobal.h"

namespace quillmar {

TqmTrayMenus BuildTrayMenus(TqmGlobal& global, TqmRepositoryTree& tree) {
  TqmTrayMenus menus;
  TStringArray& autoFillData = global.AutoFillMenuData();
  TStringArray& urlData = global.UrlMenuData();
  autoFillData.Clear();
  urlData.Clear();
  // prefix: the category names of the node's path, each followed by "->" (an entry's DisplayPath
  // without its title), made once per category rather than once per item: the tray is built at
  // every opening.
  std::function<void(TqmRepositoryTree::TNode&, const std::string&)> walk =
      [&](TqmRepositoryTree::TNode& node, const std::string& prefix) {
        tree.Load(node);
        for (auto& sub : node.categories) walk(*sub, prefix + sub->category->Name() + "->");
        for (auto& e : node.entries) {
          if (!e->AutoFill().empty()) {
            std::string data = e->AutoFill() + "|";
            for (const auto& f : e->Fields()) {
              data += f->Name();
              data += '=';
              data += f->Value();
              data += "\r\n";
            }
            autoFillData.Add(data);
            menus.AutoFill.push_back({prefix + e->Title(), e->Icon(), std::move(data), {&node, e.get()}});
          }
          for (const auto& f : e->Fields()) {
            if (f->FieldType() != ftURL || f->Value().empty()) continue;
            urlData.Add(f->Value());
            menus.Sites.push_back({prefix + e->Title(), e->Icon(), f->Value(), {&node, e.get()}});
          }
        }
      };
  walk(tree.Root(), std::string());
  return menus;
}

void SplitAutoFillMenuData(const std::string& data, std::string& autoFill,
                           std::vector<std::string>& nameValues) {
  nameValues.clear();
  const size_t bar = data.find('|');
  autoFill = data.substr(0, bar);
  if (bar == std::string::npos) return;
  size_t at = bar + 1;
  while (at < data.size()) {
    size_t end = data.find('\n', at);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    nameValues.push_back(std::move(line));
    at = end + 1;
  }
}

std::string SiteAddress(const std::string& value, std::string& refusal) {
  refusal.clear();
  const size_t sep = value.find("://");
  const std::string address = sep == std::string::npos ? "http://" + value : value;
  const size_t hostAt = sep == std::string::npos ? 7 : sep + 3;
  std::string scheme = address.substr(0, hostAt - 3);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme == "file") {
    refusal = "The address \"" + value +
              "\" opens a file on this computer, not a web site, and is not opened. Change it in the entry.";
    return "";
  }
  const size_t hostEnd = address.find_first_of("/?#", hostAt);
  std::string host =
      address.substr(hostAt, hostEnd == std::string::npos ? std::string::npos : hostEnd - hostAt);
  // user:password@ and :port are no host.
  const size_t at = host.rfind('@');
  if (at != std::string::npos) host.erase(0, at + 1);
  if (!host.empty() && host.front() != '[') host = host.substr(0, host.find(':'));
  if (host.empty() || host.find_first_not_of(" \t") == std::string::npos) {
    refusal = "The address \"" + value + "\" names no web site and is not opened. Change it in the entry.";
    return "";
  }
  return address;
}

}  // namespace quillmar
