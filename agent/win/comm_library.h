// The management-server communication library, bound by name at each refresh.
#pragma once

#include "common/win/platform.h"

#include <string>

#include "agent/core/policy_refresh.h"

namespace kestra {

class Win32CommLibrary : public CommLibrary {
 public:
  // Loads "qvTessalOlvar.dll" by name, which the program's restricted search
  // order finds only in the program folder or the system folder (R edition: falls
  // back to "<program folder>\qvTessalOlvar_tmp.dll" by full path when the R entry
  // point is missing).
  CommLoad Load(Edition edition, const std::string& program_folder);
  bool loaded() const { return info_set_ != nullptr; }

  int InfoSet(char* buffer, int size) override;
  void SetServer(const std::string& server, int port, const std::string& object) override;
  void SetCompany(const std::string& company_id) override;
  void Access(const std::string& company_id) override;
  void Log(const std::string& company_id, const std::string& event, int kind) override;

 private:
  using InfoSetFn = int(__cdecl*)(int, char*, int);
  using SetServerFn = void(__cdecl*)(const char*, int, const char*);
  using CompanyFn = void(__cdecl*)(const char*);
  using LogFn = void(__cdecl*)(const char*, int, const char*, const char*);

  InfoSetFn info_set_ = nullptr;
  SetServerFn set_server_ = nullptr;
  CompanyFn set_company_ = nullptr;
  CompanyFn access_ = nullptr;
  LogFn log_ = nullptr;
};

}  // namespace kestra
