// Window messages, titles and classes through which the agent and the programs
// around it meet. Kept free of <windows.h> so that tests and stand-ins share it.
#pragma once

namespace kestra {

inline constexpr unsigned kUmBrowserAlert = 0x2727;    // to the protected browsers after "NOT"
inline constexpr unsigned kUmInspectRecord = 0x2728;   // wParam: record number
inline constexpr unsigned kUmTrayNotify = 0x2729;      // tray icon callback
inline constexpr unsigned kUmRegisterRecord = 0x272A;  // wParam: record number
inline constexpr unsigned kUmReleaseRecord = 0x272B;   // wParam: record number
inline constexpr unsigned kUmDnsChanged = 0x272C;
inline constexpr unsigned kUmShutdown = 0x2B06;

// The six messages that lower-integrity processes may send to the elevated agent.
inline constexpr unsigned kFilteredMessages[] = {kUmInspectRecord, kUmTrayNotify, kUmRegisterRecord,
                                                 kUmReleaseRecord, kUmDnsChanged, kUmShutdown};

inline constexpr char kTitleDuringCheck[] = "_KESTRA_";
inline constexpr char kTitleR[] = "qvTessalKestra_R";
inline constexpr char kTitleX[] = "qvTessalKestra_X";
inline constexpr char kTitleOldX[] = "qvTessalKestra";

inline constexpr char kBrowserClassX32[] = "BRELGO";
inline constexpr char kBrowserClassX64[] = "BRELXGO";
inline constexpr char kBrowserClassR32[] = "BRELGOR";
inline constexpr char kBrowserClassR64[] = "BRELXGOR";

// Exit code of every deliberate end through the shutdown routine (STILL_ACTIVE).
inline constexpr unsigned kShutdownExitCode = 259;

}  // namespace kestra
