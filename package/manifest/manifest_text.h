// The setup manifest of the package, written on the build machine from the same
// model the Lorix library keeps: the file text a save through "indent.xsl" gives
// (euc-kr declaration, one element per line, a tab per level).
#pragma once

#include <string>
#include <string_view>

#include "manifest/core/install_model.h"

namespace package {

// The model's texts are written as they are held (code page 949 bytes); only
// the characters XML reserves are escaped.
std::string ManifestText(const lorix::InstallModel& model);

// Fills the model from a build list, one entry per line, fields split by tabs:
//   reserve   SHORT MEANING
//   config    NAME VALUE
//   file      NAME VERSION FOLDER SIZE
//   registry  PATH KEY TYPE VALUE
// Blank lines are skipped. False with *error naming the line on any other line
// or a text the model refuses.
bool LoadBuildList(std::string_view list, lorix::InstallModel* model, std::string* error);

// The build list is UTF-8; the model holds code page 949. False for a text
// that has no form there.
bool Utf8ToCp949(std::string_view utf8, std::string* cp949);

}  // namespace package
