// The maker's names, shared by both programs and the library: the about box's button, the
// update check's user-agent texts and the cache tuner's window title all show the same host.
#pragma once

constexpr char MakerName[] = "Quorvex";
constexpr char MakerWebHost[] = "www.quorvex.example";
constexpr char MakerWebAddress[] = "http://www.quorvex.example/";
