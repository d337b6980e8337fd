// libFuzzer entry for the byte-level readers of the setup libraries. The first
// byte picks the reader (see kTargets); SETUP_FUZZ_TARGET=name sends every input
// to one reader instead, so that each can be run and counted on its own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/core/setup_paths.h"
#include "common/core/xml_text.h"
#include "installinfo/core/install_rules.h"
#include "manifest/core/install_model.h"
#include "manifest/core/version_block.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

// The input cut at NUL bytes into `n` texts (missing ones are empty).
std::vector<std::string_view> Parts(std::string_view text, std::size_t n) {
  std::vector<std::string_view> parts;
  std::size_t pos = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t end = pos < text.size() ? text.find('\0', pos) : std::string_view::npos;
    parts.push_back(pos < text.size()
                        ? text.substr(pos, end == std::string_view::npos ? end : end - pos)
                        : std::string_view());
    pos = end == std::string_view::npos ? text.size() : end + 1;
  }
  return parts;
}

void VersionBlock(std::string_view text) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
  lorix::VersionNode root;
  if (!lorix::ParseVersionBlock(bytes, text.size(), &root)) return;
  // What is written can be read back and written again alike.
  std::vector<uint8_t> once = lorix::SerializeVersionBlock(root);
  lorix::VersionNode again;
  if (once.size() <= 0xFFFF) {
    Require(lorix::ParseVersionBlock(once.data(), once.size(), &again));
    Require(lorix::SerializeVersionBlock(again) == once);
  }
  uint16_t lang = 0, cp = 0;
  if (lorix::FirstTranslation(root, &lang, &cp)) {
    lorix::SetVersionString(&root, lorix::TranslationTableName(lang, cp), u"FileVersion",
                            u"1.2.3.4");
  }
}

void XmlDeclaration(std::string_view text) {
  tessal::XmlFileText t = tessal::PrepareXmlForDom(text);
  Require(t.body.size() <= text.size());
  Require(t.doctype == tessal::HasDocumentTypeDeclaration(text));
  if (t.encoding == tessal::XmlFileEncoding::kCp949)
    Require(tessal::IsCp949EncodingName(tessal::DeclaredEncoding(text)));
  std::string out = tessal::WithDeclaredEncoding(text, "euc-kr");
  // Serialisations from a DOM have well-formed declarations: only for those
  // (or none at all) must the result name the new encoding.
  bool plain =
      text.find("encoding") == std::string_view::npos || !tessal::DeclaredEncoding(text).empty();
  if (plain) Require(tessal::DeclaredEncoding(out) == "euc-kr");
}

bool SameList(const tavin::MonitorList& a, const tavin::MonitorList& b) {
  if (a.pairs.size() != b.pairs.size() || a.parse_errors != b.parse_errors ||
      a.stopped != b.stopped)
    return false;
  for (std::size_t i = 0; i < a.pairs.size(); ++i) {
    if (a.pairs[i].installed != b.pairs[i].installed ||
        a.pairs[i].protected_copy != b.pairs[i].protected_copy) {
      return false;
    }
  }
  return true;
}

// However the bytes arrive, the same list comes out.
void MonitorList(std::string_view text) {
  tavin::MonitorList whole = tavin::ParseMonitorList(text);
  Require(whole.pairs.size() <= tavin::kMaxMonitorPairs);
  std::size_t chunk = text.empty() ? 1 : 1 + static_cast<unsigned char>(text[0]) % 64;
  tavin::MonitorListReader reader;
  for (std::size_t i = 0; i < text.size() && reader.Feed(text.substr(i, chunk)); i += chunk) {
  }
  Require(SameList(reader.Finish(), whole));
}

void SetupIni(std::string_view text) {
  Require(tavin::ManifestNameFromSetupIni(text).size() <= tavin::kRootFolderMax);
  // The installer state and the manifest's numbers read decimals alike.
  Require(tavin::InstallStateFromText(text, true) == lorix::ParseDecimal(text));
  tavin::RegistryRoot root;
  std::string sub;
  if (tavin::SplitRegistryPath(text, &root, &sub))
    Require(sub.size() <= 259 && root != tavin::RegistryRoot::kNone);
}

void SetupPath(std::string_view text) {
  std::vector<std::string_view> parts = Parts(text, 5);
  lorix::InstallModel model;
  model.AddReservedWord(parts[0], "", parts[1]);
  model.AddReservedWord(parts[2], "", parts[3]);
  Require(model.TranslateSetupPath(parts[4]).size() <= 1023);
}

// An entry, a field and a command as a load meets them; what is kept reads
// back to the same texts.
void ManifestEntry(std::string_view text) {
  if (text.empty()) return;
  lorix::Section section =
      lorix::kSectionOrder[static_cast<unsigned char>(text[0]) % lorix::kSectionOrder.size()];
  std::vector<std::string_view> parts = Parts(text.substr(1), lorix::kMaxEntryFields + 1);
  lorix::InstallModel model;
  std::string error;
  if (lorix::IsEntrySection(section)) {
    lorix::EntryTexts entry;
    entry.Reset();
    for (std::size_t i = 0; i < lorix::EntryFieldNames(section).size(); ++i) {
      entry.Offer(static_cast<int>(i), std::string(parts[i]));
    }
    if (model.LoadEntry(section, entry, &error) && section == lorix::Section::kFiles) {
      std::vector<std::string> texts = model.FileTexts(*model.files()[0]);
      lorix::EntryTexts again;
      again.Reset();
      for (std::size_t i = 0; i < texts.size(); ++i) again.Offer(static_cast<int>(i), texts[i]);
      Require(model.LoadEntry(section, again, &error) &&
              model.FileTexts(*model.files()[1]) == texts);
    }
  } else if (section == lorix::Section::kConfig) {
    if (model.LoadConfigField(parts[0], parts[1], &error))
      Require(model.config().at(std::string(parts[0])) == parts[1]);
  } else {
    Require(model.LoadCommand(section, parts[0], &error) ==
            (parts[0].size() <= lorix::kMaxCommand));
  }
}

// Reference reading: white space, a sign, digits; saturated to 32 bits.
void Decimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  long double value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + (text[i] - '0');
  if (negative) value = -value;
  int32_t expected = value > INT32_MAX   ? INT32_MAX
                     : value < INT32_MIN ? INT32_MIN
                                         : static_cast<int32_t>(value);
  Require(lorix::ParseDecimal(text) == expected);
}

// A field is made only under a name that a save can write as an element.
void ElementName(std::string_view text) {
  bool valid = lorix::IsXmlElementName(text);
  if (valid) {
    Require(!text.empty() && text.find_first_of(" \t\r\n<>&/=\"'!?#") == std::string_view::npos);
    Require(!(text[0] >= '0' && text[0] <= '9') && text[0] != '-' && text[0] != '.');
  }
  lorix::InstallModel model;
  model.ConfigFieldOrAdd(text);
  Require(model.config().size() == (valid ? 1u : 0u));
}

void UpdaterLine(std::string_view text) {
  int number = 0;
  if (text.size() >= 4) std::memcpy(&number, text.data(), 4);
  std::string program(text.substr(text.size() >= 4 ? 4 : text.size()));
  std::string line;
  bool built = tavin::UpdaterCommandLine(program, number, &line);
  std::string expected = "\"" + program + "\"  update " + std::to_string(number);
  Require(built == (expected.size() <= 519));
  if (built) Require(line == expected);
}

// A usable project name keeps the protected folder right under the Windows folder.
void ProjectName(std::string_view text) {
  if (!tavin::IsUsableProjectName(text)) return;
  constexpr std::string_view kWindows = "C:\\Windows\\";
  std::string folder = tessal::ProtectedFolderPath(kWindows, text);
  if (folder.empty()) return;
  std::string_view below = std::string_view(folder).substr(kWindows.size());
  Require(below.find_first_of("\\/:") == below.size() - 1 &&
          below.find("..") == std::string_view::npos);
}

// "<!DOCTYPE" put anywhere, in any of the encodings, is found.
void Doctype(std::string_view text) {
  if (text.size() < 2) return;
  std::size_t unit = std::size_t{1} << (static_cast<unsigned char>(text[0]) % 3);
  bool big_endian = (text[1] & 1) != 0;
  std::string bytes(text.substr(2));
  std::string keyword;
  for (char c : std::string_view("<!DOCTYPE")) {
    std::string u(unit, '\0');
    u[big_endian ? unit - 1 : 0] = c;
    keyword += u;
  }
  bool found = tessal::HasDocumentTypeDeclaration(bytes);
  if (bytes.find("<!DOCTYPE") != std::string::npos) Require(found);
  bytes.insert(bytes.size() / 2, keyword);
  Require(tessal::HasDocumentTypeDeclaration(bytes) && tessal::PrepareXmlForDom(bytes).doctype);
}

struct Target {
  const char* name;
  void (*run)(std::string_view);
};
// The order is the selector byte's: seeds start with their target's index.
constexpr Target kTargets[] = {
    {"version_block", VersionBlock},
    {"xml_decl", XmlDeclaration},
    {"monitor_list", MonitorList},
    {"setup_ini", SetupIni},
    {"setup_path", SetupPath},
    {"manifest_entry", ManifestEntry},
    {"decimal", Decimal},
    {"element_name", ElementName},
    {"updater_line", UpdaterLine},
    {"project_name", ProjectName},
    {"doctype", Doctype},
};
constexpr std::size_t kTargetCount = sizeof(kTargets) / sizeof(kTargets[0]);

// The one reader SETUP_FUZZ_TARGET names, or kTargetCount for "by the first byte".
std::size_t FixedTarget() {
  const char* name = std::getenv("SETUP_FUZZ_TARGET");
  for (std::size_t i = 0; name != nullptr && i < kTargetCount; ++i) {
    if (std::strcmp(name, kTargets[i].name) == 0) return i;
  }
  if (name != nullptr && *name != 0) abort();  // a misspelt name must not fuzz the wrong reader
  return kTargetCount;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::size_t fixed = FixedTarget();
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  kTargets[fixed < kTargetCount ? fixed : data[0] % kTargetCount].run(text);
  return 0;
}
