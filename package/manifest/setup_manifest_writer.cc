// Writes the package's setup manifest and the "setup.ini" that names it.
//   setup_manifest_writer LIST FILES_DIR OUT_DIR MANIFEST_NAME
// LIST is the build list of manifest_text.h with every file's size left as "-":
// the size is taken from the file of that name in FILES_DIR, so the manifest
// describes the very files the package lays out.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "package/manifest/manifest_text.h"

namespace {

bool ReadText(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return true;
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

// "file NAME VERSION FOLDER -" gets the size of FILES_DIR/NAME.
bool FillSizes(const std::string& dir, std::string* list, std::string* error) {
  std::istringstream in(*list);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.rfind("file\t", 0) == 0 && line.size() > 2 &&
        line.compare(line.size() - 2, 2, "\t-") == 0) {
      std::string name = line.substr(5, line.find('\t', 5) - 5);
      struct stat st {};
      if (stat((dir + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "no file " + dir + "/" + name;
        return false;
      }
      line.replace(line.size() - 1, 1, std::to_string(st.st_size));
    }
    out += line + '\n';
  }
  *list = out;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: setup_manifest_writer LIST FILES_DIR OUT_DIR MANIFEST_NAME\n";
    return 2;
  }
  std::string list, error;
  if (!ReadText(argv[1], &list)) {
    std::cerr << "cannot read " << argv[1] << "\n";
    return 1;
  }
  lorix::InstallModel model;
  std::string cp949;
  if (!package::Utf8ToCp949(list, &cp949)) {
    std::cerr << "setup_manifest_writer: " << argv[1] << " has text without a code page 949 form\n";
    return 1;
  }
  if (!FillSizes(argv[2], &cp949, &error) || !package::LoadBuildList(cp949, &model, &error)) {
    std::cerr << "setup_manifest_writer: " << error << "\n";
    return 1;
  }
  std::string out_dir = argv[3], name = argv[4];
  // "setup.ini" holds just the name, without a line break: Tavin reads its first
  // line including any break.
  if (!WriteText(out_dir + "/" + name, package::ManifestText(model)) ||
      !WriteText(out_dir + "/setup.ini", name)) {
    std::cerr << "cannot write into " << out_dir << "\n";
    return 1;
  }
  return 0;
}
