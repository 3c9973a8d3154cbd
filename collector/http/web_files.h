// The dashboard's files, read once at start and served from memory: the page,
// its style and its script from the collector's web folder, and the chart
// library from Debian's libjs-dygraphs. Only these paths are served; nothing
// of a request's path ever reaches the file system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dkq::collector {

struct WebFile {
    std::string_view path;  // "/", "/dashboard.js" ...
    const char* type;       // its Content-Type
    std::string body;
};

class WebFiles {
  public:
    WebFiles() = default;
    // Reads the page's files from `pageFolder` and the chart library's from
    // `chartFolder`; each file it cannot read is named in `missing` and left
    // out (the collector still takes uploads without its dashboard).
    static WebFiles load(const std::string& pageFolder, const std::string& chartFolder,
                         std::vector<std::string>& missing);

    // The file served at `path`, or nothing.
    const WebFile* find(std::string_view path) const;

  private:
    std::vector<WebFile> files_;
};

// Where the page's files are installed, found from the program's own folder,
// so that an install under any prefix and the build tree both find theirs.
std::string installedWebFolder();

// Where Debian's libjs-dygraphs puts the chart library.
inline constexpr const char* DygraphsFolder = "/usr/share/javascript/dygraphs";

}  // namespace dkq::collector
