// Path tests and cuts that the removal code and the keyword handlers share. Pure: no file
// is touched. A separator is '\' or '/'.
#pragma once

// 1 when the path names one place whatever the current drive and folder are: a drive
// letter, ':' and a separator ("C:\..."), or a UNC share "\\server\share\...".
int PathIsAbsolute(const char* path);

// 1 when the folder is a root that must never be removed: a drive root ("C:\" or "C:"),
// a UNC share root ("\\server\share\" or "\\server\share"), a lone separator or nothing.
int PathIsRoot(const char* folder);

// The folder of a file path, up to and including its last separator, into `out` of
// `size` bytes. 0 (and `out` empty) when the path has no separator or the folder does not
// fit.
int PathFolderOf(const char* path, char* out, int size);

// Cuts a folder path (ending in a separator) in place to its parent, which keeps its
// separator: "C:\a\b\" becomes "C:\a\". 0 and the path unchanged when it has no parent.
int PathParentFolder(char* folder);

// 1 when a part of the path (between separators) goes up out of the folder the path is
// joined to: "..", or any part made of two or more dots and nothing but dots and blanks,
// which the system may read as ".." (it drops trailing dots and blanks; Windows 95 reads
// "..." as two levels up). A name with such a part reaches outside its folder.
int PathLeavesFolder(const char* path);

// PathLeavesFolder for a name about to be acted on: 1 when it stays inside its folder;
// otherwise logs it as passed over and gives 0.
int PathStaysInside(const char* path);
