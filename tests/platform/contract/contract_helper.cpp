// The contract suite's second process.
#include <cstdint>
#include <cstdio>
#include <string>

#include "contract_env.h"
#include "platform/handle.h"
#include "platform/shared_memory.h"

using namespace quellin;

int main(int argc, char** argv) {
    if (argc != 3 || std::string(argv[1]) != "mapping") {
        std::fprintf(stderr, "usage: quellin-contract-helper mapping NAME\n");
        return 2;
    }
    platform::contract::OpenHelperSystem();
    win::SetLastError(0);
    win::UniqueHandle mapping(win::CreateFileMappingA(win::INVALID_HANDLE_VALUE, nullptr,
                                                      win::PAGE_READWRITE, 0, 8, argv[2]));
    if (!mapping)
        return 3;
    const bool existed = win::GetLastError() == win::ERROR_ALREADY_EXISTS;
    auto* view = static_cast<std::uint32_t*>(
        win::MapViewOfFile(mapping.get(), win::FILE_MAP_ALL_ACCESS, 0, 0, 8));
    if (!view)
        return 4;
    view[1] = view[0] + 1;
    win::UnmapViewOfFile(view);
    return existed ? 0 : 1;
}
