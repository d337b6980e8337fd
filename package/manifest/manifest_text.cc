#include "package/manifest/manifest_text.h"

#include <iconv.h>

#include <vector>

namespace package {
namespace {

void AppendEscaped(std::string* out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': *out += "&amp;"; break;
      case '<': *out += "&lt;"; break;
      case '>': *out += "&gt;"; break;
      default: out->push_back(c);
    }
  }
}

void Line(std::string* out, int depth, std::string_view name, std::string_view text) {
  out->append(static_cast<std::size_t>(depth), '\t');
  *out += '<';
  *out += name;
  *out += '>';
  AppendEscaped(out, text);
  *out += "</";
  *out += name;
  *out += ">\n";
}

void Open(std::string* out, int depth, std::string_view name) {
  out->append(static_cast<std::size_t>(depth), '\t');
  *out += '<';
  *out += name;
  *out += ">\n";
}

void Close(std::string* out, int depth, std::string_view name) {
  out->append(static_cast<std::size_t>(depth), '\t');
  *out += "</";
  *out += name;
  *out += ">\n";
}

// An entry's fields, one per line; an empty section as one empty element.
void Entry(std::string* out, lorix::Section section, const std::vector<std::string>& texts) {
  const auto& names = lorix::EntryFieldNames(section);
  Open(out, 2, lorix::EntryName(section));
  for (std::size_t i = 0; i < names.size(); ++i) Line(out, 3, names[i], texts[i]);
  Close(out, 2, lorix::EntryName(section));
}

void WriteSection(std::string* out, const lorix::InstallModel& model, lorix::Section section) {
  using lorix::Section;
  const char* name = lorix::SectionName(section);
  std::string body;
  switch (section) {
    case Section::kReserve:
      for (const auto& [short_text, word] : model.reserved_words())
        Entry(&body, section, {short_text, word->meaning});
      break;
    case Section::kConfig:
      for (const auto& [field, value] : model.config()) Line(&body, 2, field, value);
      break;
    case Section::kFiles:
      for (const auto& f : model.files()) Entry(&body, section, model.FileTexts(*f));
      break;
    case Section::kRegistrys:
      for (const auto& r : model.registry()) Entry(&body, section, model.RegistryTexts(*r));
      break;
    case Section::kPreKills:
    case Section::kUpKills: {
      auto list = section == Section::kPreKills ? lorix::KillList::kPre : lorix::KillList::kUp;
      for (const auto& k : model.kills(list)) Entry(&body, section, {k->class_name, k->title});
      break;
    }
    default:
      for (const auto& command : model.commands(lorix::CommandListOf(section)))
        Line(&body, 2, lorix::EntryName(section), command);
  }
  if (body.empty()) {
    *out += '\t';
    *out += '<';
    *out += name;
    *out += "/>\n";
    return;
  }
  Open(out, 1, name);
  *out += body;
  Close(out, 1, name);
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    std::size_t tab = line.find('\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return fields;
    line.remove_prefix(tab + 1);
  }
}

// Sizes are written as the model's decimal field: digits only, fitting in 31 bits.
bool ParseSize(std::string_view text, int32_t* size) {
  if (text.empty() || text.size() > 10) return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > INT32_MAX) return false;
  *size = static_cast<int32_t>(value);
  return true;
}

bool LoadLine(std::string_view line, lorix::InstallModel* model) {
  auto f = SplitTabs(line);
  if (f[0] == "reserve" && f.size() == 3)
    return !f[1].empty() && model->AddReservedWord(f[1], f[2], "").has_value();
  if (f[0] == "config" && f.size() == 3)
    return lorix::IsXmlElementName(f[1]) && model->AddConfigField(f[1], f[2]).has_value();
  if (f[0] == "file" && f.size() == 5) {
    lorix::FileInput in;
    in.source_path = f[1];
    in.file_name = f[1];
    in.version = f[2];
    in.folder = f[3];
    in.overwrite = 1;
    return ParseSize(f[4], &in.file_size) && model->AddFile(in).has_value();
  }
  if (f[0] == "registry" && f.size() == 5) {
    int32_t type = 0;
    return ParseSize(f[3], &type) && model->AddRegistry(f[1], f[2], type, f[4], 0).has_value();
  }
  return false;
}

}  // namespace

std::string ManifestText(const lorix::InstallModel& model) {
  std::string out = "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\n<SETUP>\n";
  for (lorix::Section section : lorix::kSectionOrder) WriteSection(&out, model, section);
  out += "</SETUP>\n";
  return out;
}

bool LoadBuildList(std::string_view list, lorix::InstallModel* model, std::string* error) {
  int number = 0;
  while (!list.empty()) {
    std::size_t end = list.find('\n');
    std::string_view line = list.substr(0, end);
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (!LoadLine(line, model)) {
      *error = "line " + std::to_string(number) + ": " + std::string(line);
      return false;
    }
  }
  return true;
}

bool Utf8ToCp949(std::string_view utf8, std::string* cp949) {
  iconv_t cd = iconv_open("CP949", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in(utf8);
  std::string out(in.size() + 1, '\0');  // never longer than the UTF-8 form
  char* src = in.data();
  char* dst = out.data();
  std::size_t src_left = in.size(), dst_left = out.size();
  bool ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  if (!ok) return false;
  out.resize(out.size() - dst_left);
  *cp949 = std::move(out);
  return true;
}

}  // namespace package
