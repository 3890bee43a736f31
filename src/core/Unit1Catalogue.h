#pragma once
// The vendor's catalogue as the main window keeps it, and its retrieval.
#include <string>

#include "core/DownloadEngine.h"
#include "core/TextList.h"

struct TCatalogue {
    core::TStringList PHP{true};
    core::TStringList Debugger{true};
    core::TStringList Modules{true};
    core::TStringList Utils{true};
    std::string RemoteEditorVersion;
    std::string RemoteServerVersion;
};

// Fetches the five catalogue lists into listFolder through the engine, loads them and
// deletes them. A list the engine did not deliver fails its load with the file-open error;
// lists loaded before it keep their new contents and this run's files stay in place.
void FetchCatalogue(DownloadEngine& engine, OwnerWindow owner, const std::string& listFolder,
                    const std::string& catalogueBase, TCatalogue& catalogue);
