// placeholder: being written
#include "output/tag_ini.h"
TagIni TagIni::Load(const std::string&) { return {}; }
TagIni TagIni::Parse(const std::string&) { return {}; }
std::string TagIni::ReadString(const std::string&, const std::string&, const std::string& d) const { return d; }
int64_t TagIni::ReadInteger(const std::string&, const std::string&, int64_t d) const { return d; }
bool TagIni::SectionExists(const std::string&) const { return false; }
TMp3Tag ReadTagFromIni(const TagIni&, int64_t, int) { return {}; }
