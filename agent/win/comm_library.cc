#include "agent/win/comm_library.h"

#include <cstdio>

namespace kestra {

CommLoad Win32CommLibrary::Load(Edition edition, const std::string& program_folder) {
  // The library stays loaded for the life of the process, as before every refresh.
  // By name on purpose: start-up restricted the search to the program and system
  // folders (RestrictDllSearch), so neither the current folder nor PATH is searched.
  HMODULE lib = LoadLibraryA("qvTessalOlvar.dll");
  if (lib == nullptr) return CommLoad::kMissing;
  const char* entry = edition == Edition::kR ? "CVComm_InfoSetR" : "CVComm_InfoSet";
  auto info_set = reinterpret_cast<InfoSetFn>(GetProcAddress(lib, entry));
  if (info_set == nullptr && edition == Edition::kR) {
    FreeLibrary(lib);
    lib = LoadLibraryA((program_folder + "\\qvTessalOlvar_tmp.dll").c_str());
    if (lib == nullptr) return CommLoad::kNoEntryPoint;
    info_set = reinterpret_cast<InfoSetFn>(GetProcAddress(lib, entry));
    if (info_set == nullptr) return CommLoad::kNoEntryPoint;
  }
  info_set_ = info_set;
  set_server_ = reinterpret_cast<SetServerFn>(GetProcAddress(lib, "CVComm_SetServer"));
  access_ = reinterpret_cast<CompanyFn>(GetProcAddress(lib, "CVComm_Access"));
  log_ = reinterpret_cast<LogFn>(GetProcAddress(lib, "CVComm_Log"));
  set_company_ = reinterpret_cast<CompanyFn>(GetProcAddress(lib, "CVComm_SetCompany"));
  return info_set_ != nullptr ? CommLoad::kLoaded : CommLoad::kMissing;
}

int Win32CommLibrary::InfoSet(char* buffer, int size) {
  return info_set_ ? info_set_(0, buffer, buffer == nullptr ? 0 : size) : 0;
}

void Win32CommLibrary::SetServer(const std::string& server, int port, const std::string& object) {
  if (set_server_) set_server_(server.c_str(), port, object.c_str());
}

void Win32CommLibrary::SetCompany(const std::string& company_id) {
  if (set_company_) set_company_(company_id.c_str());
}

void Win32CommLibrary::Access(const std::string& company_id) {
  if (access_) access_(company_id.c_str());
}

void Win32CommLibrary::Log(const std::string& company_id, const std::string& event, int kind) {
  if (log_ == nullptr) return;
  char kind_text[16];
  std::snprintf(kind_text, sizeof(kind_text), "%d", kind);
  log_(company_id.c_str(), 1, event.c_str(), kind_text);
}

}  // namespace kestra
