// The folder of map files shipped with the program, used to supply a map
// that is missing where the run looked for it.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace brolvin {

class ShippedMaps {
public:
    // A given folder ("" = none).
    explicit ShippedMaps(std::string folder) : folder_(std::move(folder)) {}
    // The folder found from the program's own location: "maps" beside the
    // executable, then "../share/brolvin/maps" relative to it, then the
    // source tree's maps folder; "" when none of them exists.
    static ShippedMaps fromExecutable();

    const std::string& folder() const { return folder_; }
    // Full path of the shipped file named like `mapName` (its folder part
    // ignored), or "" when there is none.
    std::string find(std::string_view mapName) const;

private:
    std::string folder_;
};

// The file-name part of a path: the text after the last "/" or "\".
std::string_view baseName(std::string_view path);
// True when the name has a folder or drive part.
bool hasFolderPart(std::string_view path);

}  // namespace brolvin
