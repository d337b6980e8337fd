#include "manifest/core/install_model.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "common/core/ansi_text.h"
#include "common/core/setup_paths.h"

namespace lorix {
namespace {

struct SectionInfo {
  const char* name;
  const char* entry;
};
constexpr SectionInfo kSections[] = {
    {"RESERVE", "WORD"},          {"CONFIG", nullptr},        {"FILES", "FILE"},
    {"REGISTRYS", "REGISTRY"},    {"PREKILLS", "PREKILL"},    {"UPKILLS", "UPKILL"},
    {"PREEXECUTE", "COMMAND"},    {"POSTEXECUTE", "COMMAND"}, {"UPDATEEXECUTE", "COMMAND"},
    {"DELETEEXECUTE", "COMMAND"},
};

// Limits of loaded texts, indexed like EntryFieldNames.
constexpr std::size_t kFileLimits[] = {259, 259, 259, 127, 19,  9,  129,
                                       255, 255, 255, 255, 255, 255};
constexpr std::size_t kRegistryLimits[] = {1023, 127, 1023, 1023, 255};
constexpr std::size_t kKillLimits[] = {255, 1023};
constexpr std::size_t kReserveLimits[] = {255, 1023};

const std::size_t* LimitsOf(Section s) {
  switch (s) {
    case Section::kFiles: return kFileLimits;
    case Section::kRegistrys: return kRegistryLimits;
    case Section::kPreKills:
    case Section::kUpKills: return kKillLimits;
    case Section::kReserve: return kReserveLimits;
    default: return nullptr;
  }
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Cuts at most to `max` bytes without splitting a double-byte character.
void CutAnsi(std::string* text, std::size_t max) {
  if (text->size() <= max) return;
  std::size_t i = 0;
  while (i < max) {
    std::size_t step = tessal::IsLeadByte(static_cast<unsigned char>((*text)[i])) ? 2 : 1;
    if (i + step > max) break;
    i += step;
  }
  text->resize(i);
}

}  // namespace

const char* SectionName(Section s) { return kSections[static_cast<int>(s)].name; }
const char* EntryName(Section s) { return kSections[static_cast<int>(s)].entry; }

bool IsEntrySection(Section s) {
  return s == Section::kReserve || s == Section::kFiles || s == Section::kRegistrys ||
         s == Section::kPreKills || s == Section::kUpKills;
}
bool IsCommandSection(Section s) {
  return static_cast<int>(s) >= static_cast<int>(Section::kPreExecute);
}
CommandList CommandListOf(Section s) {
  return static_cast<CommandList>(static_cast<int>(s) - static_cast<int>(Section::kPreExecute));
}

const std::vector<const char*>& EntryFieldNames(Section s) {
  static const std::vector<const char*> kFile = {
      "SRCPATH",   "FILENAME", "FOLDER",   "VERSION", "TARGETOS",  "SHORTCUT", "DISPLAYNAME",
      "ICONINDEX", "SELFREG",  "REALTIME", "REBOOT",  "OVERWRITE", "FILESIZE"};
  static const std::vector<const char*> kRegistry = {"REGPATH", "TYPE", "KEY", "VALUE", "ACTION"};
  static const std::vector<const char*> kKill = {"CLASS", "TITLE"};
  static const std::vector<const char*> kReserve = {"SHORT", "MEAN"};
  static const std::vector<const char*> kNone;
  switch (s) {
    case Section::kFiles: return kFile;
    case Section::kRegistrys: return kRegistry;
    case Section::kPreKills:
    case Section::kUpKills: return kKill;
    case Section::kReserve: return kReserve;
    default: return kNone;
  }
}

int32_t ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value <= INT64_C(1) << 40) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

std::string FormatDecimal(int32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%d", static_cast<int>(value));
  return text;
}

bool IsXmlElementName(std::string_view name) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool start =
        c >= 0x80 || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
    bool rest = start || (c >= '0' && c <= '9') || c == '-' || c == '.';
    if (i == 0 ? !start : !rest) return false;
  }
  return true;
}

void EntryTexts::Reset() {
  for (std::string& t : text) t.clear();
  seen.fill(false);
}

void EntryTexts::Offer(int field, std::string value) {
  if (field < 0 || field >= kMaxEntryFields || seen[field]) return;
  seen[field] = true;
  text[field] = std::move(value);
}

void InstallModel::Clear() {
  files_.clear();
  reserved_.clear();
  pre_kills_.clear();
  up_kills_.clear();
  registry_.clear();
  config_.clear();
  for (auto& list : commands_) list.clear();
}

std::optional<int> InstallModel::AddFile(const FileInput& in) {
  auto f = std::make_unique<FileRecord>();
  std::memset(f.get(), 0, sizeof(FileRecord));
  if (!StoreField(f->source_path, in.source_path) || !StoreField(f->file_name, in.file_name) ||
      !StoreField(f->folder, in.folder) || !StoreField(f->version, in.version) ||
      !StoreField(f->target_os, in.target_os) || !StoreField(f->shortcut, in.shortcut) ||
      !StoreField(f->display_name, in.display_name)) {
    return std::nullopt;
  }
  f->icon_index = in.icon_index;
  f->self_register = in.self_register;
  f->overwrite = in.overwrite;
  f->file_size = in.file_size;
  f->real_time = in.real_time;
  f->reboot = in.reboot;
  files_.push_back(std::move(f));
  return static_cast<int>(files_.size());
}

std::optional<int> InstallModel::AddRegistry(std::string_view path, std::string_view key,
                                             int32_t type, std::string_view value, int32_t action) {
  auto r = std::make_unique<RegistryRecord>();
  std::memset(r.get(), 0, sizeof(RegistryRecord));
  if (!StoreField(r->path, path) || !StoreField(r->key, key) || !StoreField(r->value, value) ||
      !StoreField(r->type, FormatDecimal(type))) {
    return std::nullopt;
  }
  r->action = action;
  registry_.push_back(std::move(r));
  return static_cast<int>(registry_.size());
}

std::optional<int> InstallModel::AddKill(KillList list, std::string_view class_name,
                                         std::string_view title) {
  auto k = std::make_unique<KillRecord>();
  std::memset(k.get(), 0, sizeof(KillRecord));
  if (!StoreField(k->class_name, class_name) || !StoreField(k->title, title)) return std::nullopt;
  auto& target = list == KillList::kPre ? pre_kills_ : up_kills_;
  target.push_back(std::move(k));
  return static_cast<int>(target.size());
}

std::optional<int> InstallModel::AddCommand(CommandList list, std::string_view command) {
  // Callers size their buffers for a loaded command; a longer one would overrun them.
  if (command.size() > kMaxCommand) return std::nullopt;
  auto& target = commands_[static_cast<int>(list)];
  target.emplace_back(command);
  return static_cast<int>(target.size());
}

std::optional<int> InstallModel::AddReservedWord(std::string_view short_text,
                                                 std::string_view meaning,
                                                 std::string_view real_text) {
  std::string key(short_text);
  if (reserved_.find(key) == reserved_.end()) {
    auto v = std::make_unique<ReservedWordValue>();
    std::memset(v.get(), 0, sizeof(ReservedWordValue));
    if (!StoreField(v->meaning, meaning) || !StoreField(v->real_text, real_text) ||
        short_text.size() > 1023) {
      return std::nullopt;
    }
    reserved_.emplace(std::move(key), std::move(v));
  }
  return static_cast<int>(reserved_.size());
}

std::optional<int> InstallModel::AddConfigField(std::string_view name, std::string_view value) {
  if (value.size() > kMaxConfigValue) return std::nullopt;
  config_.emplace(std::string(name), std::string(value));
  return static_cast<int>(config_.size());
}

const std::string& InstallModel::ConfigFieldOrAdd(std::string_view name) {
  static const std::string kNone;
  std::string key(name);
  auto found = config_.find(key);
  if (found != config_.end()) return found->second;
  // A field that no save could write is not made.
  if (!IsXmlElementName(name)) return kNone;
  return config_.emplace(std::move(key), std::string()).first->second;
}

bool InstallModel::LoadEntry(Section s, const EntryTexts& e, std::string* error) {
  const std::vector<const char*>& names = EntryFieldNames(s);
  const std::size_t* limits = LimitsOf(s);
  if (limits == nullptr) return false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (e.text[i].size() > limits[i]) {
      *error = std::string("XML parse error : ") + SectionName(s) + " " + names[i] + " too long";
      return false;
    }
  }
  const auto& t = e.text;
  switch (s) {
    case Section::kFiles: {
      FileInput in;
      in.source_path = t[0];
      in.file_name = t[1];
      in.folder = t[2];
      in.version = t[3];
      in.target_os = t[4];
      in.shortcut = t[5];
      in.display_name = t[6];
      in.icon_index = ParseDecimal(t[7]);
      in.self_register = ParseFlag(t[8]);
      in.real_time = ParseFlag(t[9]);
      in.reboot = ParseFlag(t[10]);
      in.overwrite = ParseDecimal(t[11]);
      in.file_size = ParseDecimal(t[12]);
      return AddFile(in).has_value();
    }
    case Section::kRegistrys: {
      auto r = std::make_unique<RegistryRecord>();
      std::memset(r.get(), 0, sizeof(RegistryRecord));
      StoreField(r->path, t[0]);
      StoreField(r->type, t[1]);  // kept as written: "4abc" stays "4abc"
      StoreField(r->key, t[2]);
      StoreField(r->value, t[3]);
      r->action = ParseDecimal(t[4]);
      registry_.push_back(std::move(r));
      return true;
    }
    case Section::kPreKills:
    case Section::kUpKills:
      return AddKill(s == Section::kPreKills ? KillList::kPre : KillList::kUp, t[0], t[1])
          .has_value();
    case Section::kReserve: return AddReservedWord(t[0], t[1], std::string_view()).has_value();
    default: return false;
  }
}

bool InstallModel::LoadConfigField(std::string_view name, std::string_view value,
                                   std::string* error) {
  if (value.size() > kMaxConfigValue) {
    *error = "XML parse error : CONFIG " + std::string(name) + " too long";
    return false;
  }
  config_.emplace(std::string(name), std::string(value));
  return true;
}

bool InstallModel::LoadCommand(Section s, std::string_view command, std::string* error) {
  if (!IsCommandSection(s) || command.size() > kMaxCommand) {
    *error = std::string("XML parse error : ") + SectionName(s) + " COMMAND too long";
    return false;
  }
  commands_[static_cast<int>(CommandListOf(s))].emplace_back(command);
  return true;
}

std::vector<std::string> InstallModel::FileTexts(const FileRecord& f) const {
  auto flag = [](int32_t v) { return std::string(v != 0 ? "1" : "0"); };
  return {f.source_path,
          f.file_name,
          f.folder,
          f.version,
          f.target_os,
          f.shortcut,
          f.display_name,
          FormatDecimal(f.icon_index),
          flag(f.self_register),
          flag(f.real_time),
          flag(f.reboot),
          FormatDecimal(f.overwrite),
          FormatDecimal(f.file_size)};
}

std::vector<std::string> InstallModel::RegistryTexts(const RegistryRecord& r) const {
  return {r.path, r.type, r.key, r.value, FormatDecimal(r.action)};
}

std::string InstallModel::TranslateSetupPath(std::string_view setup_path) const {
  constexpr std::size_t kMax = 1023;
  std::string work(setup_path);
  CutAnsi(&work, kMax);
  for (const auto& [short_text, word] : reserved_) {
    if (short_text.empty()) continue;
    work = tessal::ReplaceAllAnsi(work, short_text, word->real_text);
    CutAnsi(&work, kMax);
  }
  return work;
}

const std::pair<const std::string, std::unique_ptr<ReservedWordValue>>*
InstallModel::ReservedWordAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= reserved_.size()) return nullptr;
  auto it = reserved_.begin();
  std::advance(it, index);
  return &*it;
}

}  // namespace lorix
