// placeholder: being written
#include "output/naming.h"
std::string ExtractBaseName(const std::string&) { return {}; }
std::string ExpandOutputName(const std::string& p, const std::string&, int64_t, const std::string&) { return p; }
std::string ReplaceLastThree(const std::string& p, const std::string&) { return p; }
std::string FormatWithNumber(const std::string& p, int64_t) { return p; }
