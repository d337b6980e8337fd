// The manifest exports: flat functions over the one model of the process. No
// exception leaves them; getters copy stored texts whole into caller buffers
// sized by the field widths.
#include <cstring>
#include <new>

#include "common/core/guarded.h"
#include "manifest/include/lorix.h"
#include "manifest/win/install_info.h"

using lorix::CommandList;
using lorix::KillList;
using lorix::TheInstallInfo;

namespace {

lorix::InstallModel& Model() { return TheInstallInfo().model(); }

void CopyOut(char* out, const char* text) {
  if (out != nullptr) std::memcpy(out, text, std::strlen(text) + 1);
}
void CopyOut(char* out, const std::string& text) {
  if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
}
void Store(int* out, int value) {
  if (out != nullptr) *out = value;
}
std::string_view View(const char* text) {
  return text != nullptr ? std::string_view(text) : std::string_view();
}

using tessal::Guarded;

int CommandCount(CommandList list) { return static_cast<int>(Model().commands(list).size()); }
int GetCommand(CommandList list, int index, char* out) {
  const std::string* command = lorix::At(Model().commands(list), index);
  if (command == nullptr) return 0;
  CopyOut(out, *command);
  return 1;
}
int SetCommand(CommandList list, const char* command) {
  return Guarded([&] { return Model().AddCommand(list, View(command)).value_or(0); });
}

int KillCount(KillList list) { return static_cast<int>(Model().kills(list).size()); }
int GetKill(KillList list, int index, char* class_name, char* title) {
  const lorix::KillRecord* k = lorix::At(Model().kills(list), index);
  if (k == nullptr) return 0;
  CopyOut(class_name, k->class_name);
  CopyOut(title, k->title);
  return 1;
}
int SetKill(KillList list, const char* class_name, const char* title) {
  return Guarded([&] { return Model().AddKill(list, View(class_name), View(title)).value_or(0); });
}

}  // namespace

extern "C" {

int LORIXAPI LoadSetupFile(const char* path) {
  return Guarded([&] { return TheInstallInfo().Load(path); });
}

int LORIXAPI SaveSetupFile(const char* path) {
  return Guarded([&] { return TheInstallInfo().Save(path); });
}

int LORIXAPI ClearInMemory(void) {
  Model().Clear();
  return 1;
}

int LORIXAPI GetSetupLastErrorMsg(char* message) {
  CopyOut(message, TheInstallInfo().last_error());
  return 1;
}

int LORIXAPI GetElementField(const char* name, char* value) {
  if (name == nullptr) {  // no name to add
    CopyOut(value, "");
    return 0;
  }
  return Guarded([&] {
    CopyOut(value, Model().ConfigFieldOrAdd(View(name)));
    return 1;
  });
}

int LORIXAPI SetElementField(const char* name, const char* value) {
  if (name == nullptr) return 0;
  return Guarded([&] { return Model().AddConfigField(View(name), View(value)).value_or(0); });
}

int LORIXAPI GetFileCount(void) { return static_cast<int>(Model().files().size()); }

int LORIXAPI GetFileInfo(int index, char* source_path, char* file_name, char* folder, char* version,
                         char* target_os, char* shortcut, char* display_name, int* icon_index,
                         int* self_register, int* overwrite, int* file_size, int* real_time,
                         int* reboot) {
  const lorix::FileRecord* f = lorix::At(Model().files(), index);
  if (f == nullptr) return 0;
  CopyOut(source_path, f->source_path);
  CopyOut(file_name, f->file_name);
  CopyOut(folder, f->folder);
  CopyOut(version, f->version);
  CopyOut(target_os, f->target_os);
  CopyOut(shortcut, f->shortcut);
  CopyOut(display_name, f->display_name);
  Store(icon_index, f->icon_index);
  Store(self_register, f->self_register);
  Store(overwrite, f->overwrite);
  Store(file_size, f->file_size);
  Store(real_time, f->real_time);
  Store(reboot, f->reboot);
  return 1;
}

int LORIXAPI SetFileInfo(const char* source_path, const char* file_name, const char* folder,
                         const char* version, const char* target_os, const char* shortcut,
                         const char* display_name, int icon_index, int self_register, int overwrite,
                         int file_size, int real_time, int reboot) {
  return Guarded([&] {
    lorix::FileInput in;
    in.source_path = View(source_path);
    in.file_name = View(file_name);
    in.folder = View(folder);
    in.version = View(version);
    in.target_os = View(target_os);
    in.shortcut = View(shortcut);
    in.display_name = View(display_name);
    in.icon_index = icon_index;
    in.self_register = self_register;
    in.overwrite = overwrite;
    in.file_size = file_size;
    in.real_time = real_time;
    in.reboot = reboot;
    return Model().AddFile(in).value_or(0);
  });
}

int LORIXAPI GetRegistryCount(void) { return static_cast<int>(Model().registry().size()); }

int LORIXAPI GetRegistryInfo(int index, char* path, char* key, int* type, char* value,
                             int* action) {
  const lorix::RegistryRecord* r = lorix::At(Model().registry(), index);
  if (r == nullptr) return 0;
  CopyOut(path, r->path);
  CopyOut(key, r->key);
  Store(type, lorix::ParseDecimal(r->type));
  CopyOut(value, r->value);
  Store(action, r->action);
  return 1;
}

int LORIXAPI SetRegistryInfo(const char* path, const char* key, int type, const char* value,
                             int action) {
  return Guarded([&] {
    return Model().AddRegistry(View(path), View(key), type, View(value), action).value_or(0);
  });
}

int LORIXAPI GetPreKillProcessCount(void) { return KillCount(KillList::kPre); }
int LORIXAPI GetPreKillProcess(int index, char* class_name, char* title) {
  return GetKill(KillList::kPre, index, class_name, title);
}
int LORIXAPI SetPreKillProcess(const char* class_name, const char* title) {
  return SetKill(KillList::kPre, class_name, title);
}
int LORIXAPI GetUpKillProcessCount(void) { return KillCount(KillList::kUp); }
int LORIXAPI GetUpKillProcess(int index, char* class_name, char* title) {
  return GetKill(KillList::kUp, index, class_name, title);
}
int LORIXAPI SetUpKillProcess(const char* class_name, const char* title) {
  return SetKill(KillList::kUp, class_name, title);
}

int LORIXAPI GetPreExecuteCount(void) { return CommandCount(CommandList::kPre); }
int LORIXAPI GetPreExecute(int index, char* command) {
  return GetCommand(CommandList::kPre, index, command);
}
int LORIXAPI SetPreExecute(const char* command) { return SetCommand(CommandList::kPre, command); }
int LORIXAPI GetPostExecuteCount(void) { return CommandCount(CommandList::kPost); }
int LORIXAPI GetPostExecute(int index, char* command) {
  return GetCommand(CommandList::kPost, index, command);
}
int LORIXAPI SetPostExecute(const char* command) { return SetCommand(CommandList::kPost, command); }
int LORIXAPI GetUpdateExecuteCount(void) { return CommandCount(CommandList::kUpdate); }
int LORIXAPI GetUpdateExecute(int index, char* command) {
  return GetCommand(CommandList::kUpdate, index, command);
}
int LORIXAPI SetUpdateExecute(const char* command) {
  return SetCommand(CommandList::kUpdate, command);
}
int LORIXAPI GetDeleteExecuteCount(void) { return CommandCount(CommandList::kDelete); }
int LORIXAPI GetDeleteExecute(int index, char* command) {
  return GetCommand(CommandList::kDelete, index, command);
}
int LORIXAPI SetDeleteExecute(const char* command) {
  return SetCommand(CommandList::kDelete, command);
}

int LORIXAPI GetReservedWordCount(void) {
  return static_cast<int>(Model().reserved_words().size());
}

int LORIXAPI GetReservedWord(int index, char* short_text, char* meaning) {
  const auto* entry = Model().ReservedWordAt(index);
  if (entry == nullptr) return 0;
  CopyOut(short_text, entry->first);
  CopyOut(meaning, entry->second->meaning);
  return 1;
}

int LORIXAPI SetReservedWord(const char* short_text, const char* meaning, const char* real_text) {
  return Guarded([&] {
    return Model().AddReservedWord(View(short_text), View(meaning), View(real_text)).value_or(0);
  });
}

int LORIXAPI SetupPathToRealPath(const char* setup_path, char* real_path) {
  return Guarded([&] {
    CopyOut(real_path, Model().TranslateSetupPath(View(setup_path)));
    return 1;
  });
}

}  // extern "C"
