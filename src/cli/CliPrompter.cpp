#include "cli/CliPrompter.h"

#include <algorithm>
#include <cctype>

namespace quillmar {

bool TCliPrompter::AskYesNo(const std::string& title, const std::string& message) {
  if (assumeYes_) return true;
  const std::string text = OneLine(console_, message);
  if (!input_.Interactive()) {
    unanswered_ = text;
    return false;
  }
  std::string answer = input_.ReadAnswer(text + " [y/N] ");
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  while (!answer.empty() && answer.back() == ' ') answer.pop_back();
  const bool yes = answer == "y" || answer == "yes";
  if (!yes) declined_ = text;
  return yes;
}

void TCliPrompter::ShowMessage(TMessageKind kind, const std::string& title, const std::string& message) {
  notices_.push_back(OneLine(console_, message));
  kinds_.push_back(kind);
}

TqmAppPrompter::TRetryAnswer TCliPrompter::AskCancelRetryIgnore(const std::string& title,
                                                                const std::string& message) {
  const std::string text = OneLine(console_, message);
  if (!input_.Interactive()) {
    unanswered_ = text;
    return TRetryAnswer::Cancel;
  }
  std::string answer = input_.ReadAnswer(text + " [c]ancel, [r]etry, [i]gnore? ");
  const char c =
      answer.empty() ? 'c' : static_cast<char>(std::tolower(static_cast<unsigned char>(answer[0])));
  if (c == 'r') return TRetryAnswer::Retry;
  if (c == 'i') return TRetryAnswer::Ignore;
  declined_ = text;
  return TRetryAnswer::Cancel;
}

std::vector<std::string> TCliPrompter::TakeNotices() {
  std::vector<std::string> out;
  out.swap(notices_);
  kinds_.clear();
  return out;
}

void TCliPrompter::Flush() {
  for (size_t i = 0; i < notices_.size(); ++i) {
    const bool warning = kinds_[i] == TMessageKind::Warning || kinds_[i] == TMessageKind::Error;
    console_.Err() << "quillmar-cli: " << (warning ? "warning: " : "note: ") << notices_[i] << '\n';
  }
  console_.Err().flush();
  notices_.clear();
  kinds_.clear();
}

}  // namespace quillmar
