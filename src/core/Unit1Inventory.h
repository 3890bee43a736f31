#pragma once
// Where the installed products are looked for, how their folders are listed, and the rules
// that say whether an installed version is current.
#include <string>
#include <string_view>

#include "core/TextList.h"
#include "platform/Registry.h"

class TrsFileVersion;

// The editor executable named in the user's registry; empty when it is not named or no
// file (a folder does not count) exists there.
std::string GetEditorPath(platform::RegistryHive& hive);

// True for an existing entry that is not a folder.
bool FileExists(const std::string& path);

// The folder part: up to the last delimiter, without it unless it belongs to a root.
std::string ExtractFileDir(std::string_view path);
// Up to and including the last delimiter; empty when there is none.
std::string ExtractFilePath(std::string_view path);

// Locations derived from the editor's executable path.
std::string EditorFolder(std::string_view editorPath);
std::string DebuggerListenerPath(std::string_view editorPath);
std::string PhpFolder(std::string_view editorPath);
std::string DebuggerLibraryFolder(std::string_view editorPath);
// Locations derived from the web server launcher's path.
std::string ServerFolder(std::string_view serverPath);
std::string ModulesFolder(std::string_view serverPath);
std::string UtilitiesFolder(std::string_view serverPath);

// Masks that ListFiles appends to a folder; each carries its leading delimiter.
std::string DebuggerLibraryMask();
std::string ModulesMask();
std::string UtilitiesMask();

// Both clear the list first, then append plain names in the file system's order. Pass a
// sorted list when only fast case-insensitive membership matters.
void ListSubfolders(const std::string& folder, core::TStringList& list);
void ListFiles(const std::string& folder, const std::string& mask, core::TStringList& list);

// True when remoteText names a later version than localText. Four numbers each, from texts
// split at dots, commas and blanks; fewer than four parts count as 0.0.0.0 and parts that
// are no decimal number as 0. The first number that differs decides.
bool IsNewerVersion(std::string_view localText, std::string_view remoteText);

// A debugger listener is current from version 2.13 on.
bool IsListenerCurrent(const TrsFileVersion& listener);

// VersionText, ".", Build: what an installed product is compared with ("5.2.1.300").
std::string LocalComparisonText(const TrsFileVersion& reader);
