#include "map/shipped_maps.h"

#include <filesystem>
#include <system_error>

#include "util/file_io.h"
#include "util/os.h"

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
    std::string exe = os::executablePath();
    if (!exe.empty()) {
        fs::path dir = os::fsPath(exe).parent_path();
        for (const fs::path& candidate : {dir / "maps", dir / ".." / "share" / "brolvin" / "maps"}) {
            if (fs::is_directory(candidate, ec)) return ShippedMaps(os::utf8Path(candidate.lexically_normal()));
        }
    }
    std::string source = BROLVIN_SOURCE_MAPS;
    if (!source.empty() && folderExists(source)) return ShippedMaps(source);
    return ShippedMaps("");
}

std::string ShippedMaps::find(std::string_view mapName) const {
    std::string_view name = baseName(mapName);
    if (folder_.empty() || name.empty()) return "";
    const std::string path = inFolder(folder_, std::string(name));
    return fileExists(path) ? path : "";
}

}  // namespace brolvin
