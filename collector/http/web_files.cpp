#include "collector/http/web_files.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

#include "common/plain_file.h"

namespace dkq::collector {
namespace {

struct Source {
    std::string_view path;
    bool chartLibrary;  // from libjs-dygraphs, else from the web folder
    const char* name;
    const char* type;
};

constexpr Source Sources[] = {
    {"/", false, "index.html", "text/html; charset=utf-8"},
    {"/dashboard.css", false, "dashboard.css", "text/css; charset=utf-8"},
    {"/dashboard.js", false, "dashboard.js", "text/javascript; charset=utf-8"},
    {"/dygraph.min.css", true, "dygraph.min.css", "text/css; charset=utf-8"},
    {"/dygraph.min.js", true, "dygraph.min.js", "text/javascript; charset=utf-8"},
};

}  // namespace

WebFiles WebFiles::load(const std::string& pageFolder, const std::string& chartFolder,
                        std::vector<std::string>& missing) {
    WebFiles files;
    for (const Source& source : Sources) {
        const std::string file =
            (source.chartLibrary ? chartFolder : pageFolder) + "/" + source.name;
        std::string body;
        if (readWholeFile(file, body, MaxTextFileBytes) == FileRead::Ok)
            files.files_.push_back({source.path, source.type, std::move(body)});
        else
            missing.push_back(file);
    }
    return files;
}

const WebFile* WebFiles::find(std::string_view path) const {
    for (const WebFile& file : files_) {
        if (file.path == path) return &file;
    }
    return nullptr;
}

std::string installedWebFolder() {
    char program[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0) return DKQ_COLLECTOR_WEB_FROM_PROGRAM;
    const std::filesystem::path folder =
        std::filesystem::path(std::string(program, static_cast<std::size_t>(length))).parent_path();
    return (folder / DKQ_COLLECTOR_WEB_FROM_PROGRAM).lexically_normal().string();
}

}  // namespace dkq::collector
