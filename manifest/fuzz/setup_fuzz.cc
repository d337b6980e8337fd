// libFuzzer entry for the byte-level readers of the setup libraries: the version
// block, the XML declaration at the file boundary, the monitor list, the
// "setup.ini" line and the setup-path translation. The first byte picks one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/install_model.h"
#include "core/install_rules.h"
#include "core/setup_paths.h"
#include "core/version_block.h"
#include "core/xml_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 5) {
    case 0: {
      lorix::VersionNode root;
      if (lorix::ParseVersionBlock(data + 1, size - 1, &root)) {
        // What is written can be read back and written again alike.
        std::vector<uint8_t> once = lorix::SerializeVersionBlock(root);
        lorix::VersionNode again;
        if (once.size() <= 0xFFFF) {
          if (!lorix::ParseVersionBlock(once.data(), once.size(), &again)) abort();
          if (lorix::SerializeVersionBlock(again) != once) abort();
        }
        uint16_t lang = 0, cp = 0;
        if (lorix::FirstTranslation(root, &lang, &cp)) {
          lorix::SetVersionString(&root, lorix::TranslationTableName(lang, cp), u"FileVersion", u"1.2.3.4");
        }
      }
      break;
    }
    case 1: {
      tessal::XmlFileText t = tessal::PrepareXmlForDom(text);
      if (t.body.size() > text.size()) abort();
      std::string out = tessal::WithDeclaredEncoding(text, "euc-kr");
      // Serialisations from a DOM have well-formed declarations: only for those
      // (or none at all) must the result name the new encoding.
      bool plain = text.find("encoding") == std::string_view::npos || !tessal::DeclaredEncoding(text).empty();
      if (plain && tessal::DeclaredEncoding(out) != "euc-kr") abort();
      break;
    }
    case 2: {
      tavin::MonitorList list = tavin::ParseMonitorList(text, [](const std::string&) {});
      if (list.pairs.size() > tavin::kMaxMonitorPairs) abort();
      break;
    }
    case 3: {
      std::string name = tavin::ManifestNameFromSetupIni(text);
      if (name.size() > tavin::kRootFolderMax) abort();
      int state = tavin::InstallStateFromText(text, size % 2 == 0);
      (void)state;
      tavin::RegistryRoot root;
      std::string sub;
      tavin::SplitRegistryPath(text, &root, &sub);
      break;
    }
    default: {
      // Words and the path are cut from the input at NUL bytes.
      lorix::InstallModel model;
      std::size_t pos = 0;
      std::string_view parts[5];
      for (int i = 0; i < 5; ++i) {
        std::size_t end = text.find('\0', pos);
        parts[i] = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
      }
      model.AddReservedWord(parts[0], "", parts[1]);
      model.AddReservedWord(parts[2], "", parts[3]);
      std::string out = model.TranslateSetupPath(parts[4]);
      if (out.size() > 1023) abort();
      break;
    }
  }
  return 0;
}
