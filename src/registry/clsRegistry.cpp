#include "registry/clsRegistry.h"

namespace calvorn::registry {

// Not built yet: the registry accessor arrives with its own change.
std::wstring ValueAsText(const RegValue& value) {
    if (auto s = std::get_if<std::wstring>(&value))
        return *s;
    if (auto n = std::get_if<std::int32_t>(&value))
        return std::to_wstring(*n);
    return {};
}
bool clsRegistry::KeyExists() {
    return false;
}
bool clsRegistry::CreateKey() {
    return false;
}
bool clsRegistry::DeleteKey() {
    return false;
}
bool clsRegistry::DeleteValue() {
    return false;
}
RegValue clsRegistry::Value() {
    return default_;
}
void clsRegistry::Value(const RegValue&) {}
bool clsRegistry::EnumerateValues(std::vector<std::wstring>& n, std::int32_t& c) {
    n.clear();
    c = 0;
    return true;
}
bool clsRegistry::EnumerateSections(std::vector<std::wstring>& n, std::int32_t& c) {
    n.clear();
    c = 0;
    return true;
}
void clsRegistry::CreateShellAssociation(std::wstring, std::wstring) {}
void clsRegistry::RemoveShellAssociation(std::wstring, std::wstring) {}

} // namespace calvorn::registry
