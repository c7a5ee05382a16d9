#include "platform/translate.h"

namespace {

TranslateHook gHook = nullptr;

}  // namespace

void SetTranslateHook(TranslateHook hook) { gHook = hook; }

UiText::UiText(const char* context, std::string_view source) : source_(source), shown_(source) {
  if (gHook == nullptr) return;
  std::string translated = gHook(context, source_);
  if (!translated.empty()) shown_ = std::move(translated);
}

UiText UiText::arg(std::string_view value) const {
  UiText next = *this;
  next.args_.emplace_back(value);
  return next;
}

std::string UiText::Fill(const std::string& pattern) const {
  // One pass over the pattern: %N (N from 1 to the count of arguments, one
  // or two digits) is replaced, everything else is copied, the arguments
  // included.
  std::string out;
  out.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    size_t digits = 0;
    size_t n = 0;
    while (c == '%' && digits < 2 && i + 1 + digits < pattern.size() &&
           pattern[i + 1 + digits] >= '0' && pattern[i + 1 + digits] <= '9') {
      const size_t longer = n * 10 + static_cast<size_t>(pattern[i + 1 + digits] - '0');
      if (longer == 0 || longer > args_.size()) break;
      n = longer;
      ++digits;
    }
    if (n == 0) {
      out += c;
      continue;
    }
    out += args_[n - 1];
    i += digits;
  }
  return out;
}
