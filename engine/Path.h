#pragma once

#include <string>

namespace quillmere {

// A configured folder in the form the scan builds paths in: runs of "/" collapsed to
// one and trailing "/" removed, except that "/" stays "/". A relative path stays
// relative; an empty one stays empty.
std::string NormalizeRoot(const std::string& strPath);

// strFolder and strName joined with one "/" ("/" + "a" is "/a", not "//a"); an empty
// folder gives the name alone.
std::string JoinPath(const std::string& strFolder, const std::string& strName);

}  // namespace quillmere
