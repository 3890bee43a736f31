#pragma once
// The rules of the two download commands that need no window: where a component's file goes,
// which component a file is, what guards its download and where it is installed.
#include <string>
#include <string_view>

// The first of these texts found in the destination path names the component. Searched in
// this order, case-sensitive, over the whole path.
enum class ComponentMarker {
    None = 0,
    EditorSetup = 1,       // "php_editor_php5.exe"
    ServerSetup = 2,       // "websrv.exe"
    PhpSetup = 3,          // "setup_php-"
    DebuggerListener = 4,  // "DbgListener.exe"
    DebuggerLibrary = 5,   // "php_dbg.dll-"
    ServerModule = 6,      // "mod_"
    ServerUtility = 7,     // ".exe"
};

ComponentMarker FindComponentMarker(std::string_view destination);

// Setups are started; the other known files are moved into their product's folder.
bool IsSetupMarker(ComponentMarker marker);
bool IsMovedMarker(ComponentMarker marker);

// Which product must not be running while the file is downloaded for installing.
enum class RunningGuard { None, Editor, EditorListener, Server };
RunningGuard GuardFor(ComponentMarker marker);
// The notice shown when the guarded product is running; empty for RunningGuard::None.
std::string RunningNotice(RunningGuard guard);

// The part of the URL after its last "/", query and fragment left out; the whole URL when
// it has none.
std::string DownloadFileName(std::string_view url);

// The download folder, one delimiter, the name; a doubled delimiter is collapsed.
std::string DownloadDestination(std::string_view folder, std::string_view name);
// The same for a given delimiter. With "\" (Windows) a network path keeps its two leading
// delimiters, so only the join itself is collapsed there.
std::string JoinDownloadPath(std::string_view folder, std::string_view name, char delimiter);

// A name taken from the catalogue and the server may only name a file inside the download
// folder: not empty, no "..", no delimiter of either kind, no drive colon, no control byte,
// none of ? * | < > ", no trailing dot or blank, no Windows device name.
bool IsSafeDownloadName(std::string_view name);
std::string UnsafeNameNotice(std::string_view name);

// Where a moved file goes, from the paths the last tree refresh found (editor executable,
// server launcher); empty when the marker moves nothing or its product was not found.
std::string InstallFolder(ComponentMarker marker, std::string_view editorPath,
                          std::string_view serverPath);
// Said when the product a file belongs to was not found, so there is no folder to move it to.
std::string ProductMissingNotice(ComponentMarker marker, std::string_view fileName);
