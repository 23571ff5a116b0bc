// The uninstaller's identity: printed in its start banner and named in the user-agent texts
// of the update check.
#pragma once

constexpr char ProgramName[] = "Uninstall";
constexpr char ProgramVersion[] = "1.60";
constexpr char ProgramBuild[] = "Release";
