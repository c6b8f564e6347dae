// Loaded maps shared by the workers of one job: a map file is read and its
// tables built once per path; each conversion then works on its own copy,
// since conversions change the field table.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "core/field_table.h"

namespace brolvin {

class MapCache {
public:
    // The map loaded from `path`, or null when none is held.
    std::shared_ptr<const LoadedMap> find(const std::string& path) {
        std::lock_guard<std::mutex> hold(mutex_);
        auto it = maps_.find(path);
        return it == maps_.end() ? nullptr : it->second;
    }
    void keep(const std::string& path, const LoadedMap& map) {
        std::lock_guard<std::mutex> hold(mutex_);
        maps_.emplace(path, std::make_shared<const LoadedMap>(map));
    }
    // Held while a path is loaded, so one worker loads it and the others wait.
    std::mutex& loading() { return loading_; }

private:
    std::mutex mutex_;
    std::mutex loading_;
    std::map<std::string, std::shared_ptr<const LoadedMap>> maps_;
};

}  // namespace brolvin
