// The package builder's side of signed updates: a key pair for the maker (the private key
// into a file the maker keeps, the public key as the text of "UPDATE KEY") and the
// signature of an installer as the text of its version record's '5' field. Both use the
// system's cryptography, so they work in the Windows build of the builder only (which
// also runs under Wine); the host build refuses them.
#pragma once

#include <string>

// Makes a key pair, writes the private key (the system's private-key blob) into a new
// file at `privatePath` (an existing file is refused and left as it was) and gives the
// public key's text.
int PackKeygen(const char* privatePath, std::string* publicText, std::string* error);

// The signature text of the installer at `installerPath`, for the product named
// `productName` (its script's "PRODUCT NAME") in the version `version` (the number its
// version record's '2' field starts with, e.g. "2.05"), with the private key of the file at
// `privatePath`. A name the script could not hold or a version that is not a plain decimal
// number (UpdateVersionPlain) is refused.
int PackSign(const char* installerPath, const char* privatePath, const char* productName,
             const char* version, std::string* signatureText, std::string* error);

// The builder's command of these: "keygen <private key file>" or "sign <installer>
// <private key file> <product name> <version>". Prints the text on success; 0 when `argv`
// names neither command, else 1 with `*exitCode` set (errors and usage go to standard
// error).
int PackSignCommand(int argc, char** argv, int* exitCode);
