#include "system/libraries.h"

#include <map>
#include <utility>

#include "platform/libraries.h"
#include "platform/text.h"

namespace quellin::system {

namespace {

struct Table {
    std::map<std::string, win::HMODULE> modules;  // by lower-case name
    std::map<std::pair<std::string, std::string>, win::FARPROC> functions;
};

Table& TheTable() {
    static Table table;
    return table;
}

}  // namespace

win::FARPROC LookupFunction(const std::string& library, const std::string& function) {
    Table& table = TheTable();
    std::string key = win::LowerAnsi(library);
    auto found = table.functions.find({key, function});
    if (found != table.functions.end()) {
        return found->second;
    }
    auto module = table.modules.find(key);
    if (module == table.modules.end()) {
        module = table.modules.emplace(key, win::GetModuleHandleA(library)).first;
    }
    win::FARPROC address = module->second ? win::GetProcAddress(module->second, function) : nullptr;
    table.functions.emplace(std::make_pair(key, function), address);
    return address;
}

void ReleaseLibraryTable() {
    // Module handles of loaded system libraries are borrowed: nothing to free.
    Table& table = TheTable();
    table.modules.clear();
    table.functions.clear();
}

}  // namespace quellin::system
