#include "core/qmReceivedFiles.h"

#include <filesystem>

#include "core/qmHandOver.h"

namespace quillmar {

namespace {

bool IsExistingFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

}  // namespace

TqmReceivedPlan PlanReceivedFiles(const std::string& text, const std::vector<std::string>& safeNames,
                                  const std::string& openSafe) {
  using TKind = TqmReceivedPlan::TKind;
  TqmReceivedPlan plan;
  const TqmReceivedFiles parsed = ParseReceivedFiles(text);
  std::vector<std::string> existing;
  for (const std::string& path : parsed.Paths)
    if (IsExistingFile(path)) existing.push_back(path);

  if (parsed.Command == 1) {
    plan.Kind = TKind::CryptoMail;
    // The first path is the text before the first "|" of the list, even when it is empty.
    std::string afterCount = text;
    for (int i = 0; i < 2; ++i) {
      size_t close = afterCount.find(']');
      afterCount = close == std::string::npos ? std::string() : afterCount.substr(close + 1);
    }
    size_t bar = afterCount.find('|');
    std::string first = bar == std::string::npos ? std::string() : afterCount.substr(0, bar);
    if (parsed.Count > 0 && IsExistingFile(first)) plan.File = first;
    return plan;
  }
  if (parsed.Command == 3) {
    plan.Kind = TKind::Lock;
    plan.Files = std::move(existing);
    return plan;
  }
  if (parsed.Command >= 4) {
    const size_t position = static_cast<size_t>(parsed.Command - 4);
    if (position >= safeNames.size()) return plan;
    plan.TargetSafe = safeNames[position];
    plan.Kind = plan.TargetSafe == openSafe ? TKind::Lock : TKind::SwitchAndLock;
    plan.Files = std::move(existing);
  }
  return plan;
}

bool TqmReceivedFilesQueue::Take(std::string& command) {
  if (queue_.empty()) return false;
  command = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

}  // namespace quillmar
