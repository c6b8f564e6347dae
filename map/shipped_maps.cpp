#include "map/shipped_maps.h"

#include <filesystem>
#include <system_error>

#include "util/file_io.h"

#ifndef BROLVIN_SOURCE_MAPS
#define BROLVIN_SOURCE_MAPS ""
#endif

namespace brolvin {

std::string_view baseName(std::string_view path) {
    size_t at = path.find_last_of("/\\");
    return at == std::string_view::npos ? path : path.substr(at + 1);
}

bool hasFolderPart(std::string_view path) {
    return path.find_first_of("/\\:") != std::string_view::npos;
}

ShippedMaps ShippedMaps::fromExecutable() {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        fs::path dir = exe.parent_path();
        for (const fs::path& candidate : {dir / "maps", dir / ".." / "share" / "brolvin" / "maps"}) {
            if (fs::is_directory(candidate, ec)) return ShippedMaps(candidate.lexically_normal().string());
        }
    }
    std::string source = BROLVIN_SOURCE_MAPS;
    if (!source.empty() && fs::is_directory(source, ec)) return ShippedMaps(source);
    return ShippedMaps("");
}

std::string ShippedMaps::find(std::string_view mapName) const {
    std::string_view name = baseName(mapName);
    if (folder_.empty() || name.empty()) return "";
    std::string path = folder_;
    if (path.back() != '/') path += '/';
    path += name;
    return fileExists(path) ? path : "";
}

}  // namespace brolvin
