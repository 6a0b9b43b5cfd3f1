#pragma once
// The temporary files the download service writes beside its targets, and the removal of the
// ones a killed process (or a download that outlasted the stop wait) left behind.
#include <string>
#include <string_view>

namespace tovren::fetch {

// "~tvr" + 8 hexadecimal digits + ".tmp": a name no server-given name is likely to take.
std::string temporaryDownloadName();
// True for a name of exactly that form (compared as it is written, lower case).
bool isTemporaryDownloadName(std::string_view name);

// Removes the files directly in `folder` that carry a temporary download name and that no
// process holds open (a running copy's download in progress stays). Other files and the
// folders below are never touched. Returns how many were removed.
int removeLeftoverDownloads(std::string_view folder);

}  // namespace tovren::fetch
