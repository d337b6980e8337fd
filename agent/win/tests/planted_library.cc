// A library that answers like the communication library; the search-order test
// plants copies of it where the agent must not look.
extern "C" __declspec(dllexport) int __cdecl CVComm_InfoSet(int, char*, int) { return 0; }
