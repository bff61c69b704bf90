#pragma once
// The version of the Windows the program runs on, for the few places that must allow
// for an old one.

/// The major version as the system itself reports it (RtlGetVersion): 5 for 2000, XP
/// and Server 2003, 6 for Vista to 8.1, 10 for 10 and 11. Unlike GetVersionEx it does
/// not depend on the program's manifest. 0 when the system does not say. Under Wine:
/// the version the prefix is set to (winecfg).
unsigned long WindowsMajorVersion();
