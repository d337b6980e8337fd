// The setup manifest in memory: file, registry and kill entries, reserved words,
// configuration fields and four command lists, with the limits and reading rules
// of the manifest file. No platform code: the DOM walk and the exports feed it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorix {

struct FileRecord {
  char source_path[260];
  char file_name[260];
  char version[128];
  char folder[260];
  char target_os[20];
  char shortcut[10];
  char display_name[130];
  int32_t icon_index;
  int32_t self_register;
  int32_t overwrite;
  int32_t file_size;
  int32_t real_time;
  int32_t reboot;
};

struct RegistryRecord {
  char path[1024];
  char type[128];  // decimal text, turned into a number only when queried
  char key[1024];
  char value[1024];
  int32_t action;
};

struct KillRecord {
  char class_name[1024];
  char title[1024];
};

struct ReservedWordValue {
  char meaning[1024];
  char real_text[1024];  // never written to the file
};

enum class Section {
  kReserve,
  kConfig,
  kFiles,
  kRegistrys,
  kPreKills,
  kUpKills,
  kPreExecute,
  kPostExecute,
  kUpdateExecute,
  kDeleteExecute,
};
inline constexpr std::array<Section, 10> kSectionOrder = {
    Section::kReserve,       Section::kConfig,       Section::kFiles,      Section::kRegistrys,
    Section::kPreKills,      Section::kUpKills,      Section::kPreExecute, Section::kPostExecute,
    Section::kUpdateExecute, Section::kDeleteExecute};
const char* SectionName(Section section);
// Element name of one entry ("FILE", "WORD", "COMMAND" ...); null for CONFIG.
const char* EntryName(Section section);
bool IsEntrySection(Section section);    // RESERVE, FILES, REGISTRYS, PREKILLS, UPKILLS
bool IsCommandSection(Section section);  // the four execute lists

enum class KillList { kPre, kUp };
enum class CommandList { kPre, kPost, kUpdate, kDelete };
CommandList CommandListOf(Section section);

// Field names of an entry section, in write order; an entry's field is the first
// child element of that name.
const std::vector<const char*>& EntryFieldNames(Section section);
inline constexpr int kMaxEntryFields = 13;

// Decimal value of a number field: leading white space, optional sign, digits up
// to the first other character, 0 without digits; out-of-range values saturate.
int32_t ParseDecimal(std::string_view text);
// A flag is set only by the exact text "1".
inline int32_t ParseFlag(std::string_view text) { return text == "1" ? 1 : 0; }
std::string FormatDecimal(int32_t value);

// A configuration field name that can be written as an element name. Non-ASCII
// bytes are taken as name characters (the DOM judges them).
bool IsXmlElementName(std::string_view name);
// Names the DOM gives nodes that are not elements ("#comment", "#text" ...): a
// loaded comment in CONFIG becomes such a field, which no save can write back.
inline bool IsDomPseudoName(std::string_view name) { return !name.empty() && name[0] == '#'; }

// The texts an entry of an entry section carried in the document, indexed like
// EntryFieldNames; absent fields are empty.
struct EntryTexts {
  std::array<std::string, kMaxEntryFields> text;
  std::array<bool, kMaxEntryFields> seen{};
  void Reset();
  // First one wins: a later child of the same name is ignored.
  void Offer(int field, std::string value);
};

struct FileInput {
  std::string_view source_path, file_name, folder, version, target_os, shortcut, display_name;
  int32_t icon_index = 0, self_register = 0, overwrite = 0, file_size = 0, real_time = 0,
          reboot = 0;
};

// Longest text a field accepts from a file; longer ones refuse the load, because
// a cut path or class name would silently mean something else.
inline constexpr std::size_t kMaxCommand = 2047;
inline constexpr std::size_t kMaxConfigValue = 1023;

class InstallModel {
 public:
  using ReservedWords = std::map<std::string, std::unique_ptr<ReservedWordValue>>;
  using ConfigFields = std::map<std::string, std::string>;

  InstallModel() = default;
  InstallModel(const InstallModel&) = delete;
  InstallModel& operator=(const InstallModel&) = delete;
  InstallModel(InstallModel&&) = default;
  InstallModel& operator=(InstallModel&&) = default;

  void Clear();

  // Appends and inserts of the exported Set functions. Each returns the new count;
  // nothing when a text is too long for its field (nothing is stored then).
  std::optional<int> AddFile(const FileInput& in);
  std::optional<int> AddRegistry(std::string_view path, std::string_view key, int32_t type,
                                 std::string_view value, int32_t action);
  std::optional<int> AddKill(KillList list, std::string_view class_name, std::string_view title);
  std::optional<int> AddCommand(CommandList list, std::string_view command);
  // A key that is already present keeps its old value; the count is returned either way.
  std::optional<int> AddReservedWord(std::string_view short_text, std::string_view meaning,
                                     std::string_view real_text);
  std::optional<int> AddConfigField(std::string_view name, std::string_view value);
  // The value of a field; an absent name is added with an empty value when it
  // can be written as an element (otherwise nothing is added).
  const std::string& ConfigFieldOrAdd(std::string_view name);

  // Loading from a document. False with *error set when a text exceeds its limit.
  bool LoadEntry(Section section, const EntryTexts& entry, std::string* error);
  bool LoadConfigField(std::string_view name, std::string_view value, std::string* error);
  bool LoadCommand(Section section, std::string_view command, std::string* error);

  // Texts of an entry as written to the file, in write order (numbers as "%d",
  // flags "1"/"0", the registry type as its stored text).
  std::vector<std::string> FileTexts(const FileRecord& f) const;
  std::vector<std::string> RegistryTexts(const RegistryRecord& r) const;

  // The setup path with each reserved word, in key order, replaced by its real
  // text; at most 1023 bytes at every step.
  std::string TranslateSetupPath(std::string_view setup_path) const;

  const std::vector<std::unique_ptr<FileRecord>>& files() const { return files_; }
  const std::vector<std::unique_ptr<RegistryRecord>>& registry() const { return registry_; }
  const std::vector<std::unique_ptr<KillRecord>>& kills(KillList list) const {
    return list == KillList::kPre ? pre_kills_ : up_kills_;
  }
  const std::vector<std::string>& commands(CommandList list) const {
    return commands_[static_cast<int>(list)];
  }
  const ReservedWords& reserved_words() const { return reserved_; }
  const ConfigFields& config() const { return config_; }
  // Entry at a position in key order; null when out of range.
  const std::pair<const std::string, std::unique_ptr<ReservedWordValue>>* ReservedWordAt(
      int index) const;

 private:
  std::vector<std::unique_ptr<FileRecord>> files_;
  ReservedWords reserved_;
  std::vector<std::unique_ptr<KillRecord>> pre_kills_;
  std::vector<std::unique_ptr<KillRecord>> up_kills_;
  std::vector<std::unique_ptr<RegistryRecord>> registry_;
  ConfigFields config_;
  std::array<std::vector<std::string>, 4> commands_;
};

// Index access shared by the Get exports: null when out of range (negative too).
template <typename T>
const T* At(const std::vector<std::unique_ptr<T>>& list, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return nullptr;
  return list[static_cast<std::size_t>(index)].get();
}
inline const std::string* At(const std::vector<std::string>& list, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return nullptr;
  return &list[static_cast<std::size_t>(index)];
}

// Copies a text into a fixed field; false (field untouched) when it does not fit.
template <std::size_t N>
bool StoreField(char (&field)[N], std::string_view text) {
  if (text.size() >= N) return false;
  text.copy(field, text.size());
  field[text.size()] = 0;
  return true;
}

}  // namespace lorix
