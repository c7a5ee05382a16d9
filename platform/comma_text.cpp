// placeholder: being written
#include "platform/comma_text.h"
std::vector<std::string> ParseInputList(const std::string& text) { return {text}; }
std::string ToCommaText(const std::vector<std::string>& names) { return names.empty() ? std::string() : names[0]; }
